#pragma once

namespace office::package {

// Names the system's time zone in the environment (TZ) when nothing names one, so that the C
// library reads its zone file once instead of looking at it again on every conversion of a
// time: the zip library converts the date of every entry of every package it opens, and a run
// that opens hundreds of embedded workbooks spent a tenth of its time in those look-ups. The
// zone stays the one the system names. Call it at the start of main, before any thread runs.
void pinTimeZone();

}  // namespace office::package
