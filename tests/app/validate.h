#pragma once

// The window's tests check what it wrote with the shared validator.
#include "support/validator.h"
