#pragma once

// EXPECT_OFFICE_ERROR(statement, code, text): the statement must throw office::Error with the
// given code and a text that contains `text` (pass "" where only the code matters). Every test
// of a failure states both, so that a wrong error (a different code, or a message that names
// the wrong file or thing) fails the test instead of passing as "some error".

#include <gtest/gtest.h>

#include <string>

#include "office/error.h"

namespace office_test {

template <class Statement>
::testing::AssertionResult throwsOfficeError(Statement statement, office::ErrorCode code,
                                             const std::string& text) {
    try {
        statement();
    } catch (const office::Error& error) {
        if (error.code() != code) {
            return ::testing::AssertionFailure()
                   << "error code " << office::describe(error.code()) << ", expected "
                   << office::describe(code) << ": " << error.text();
        }
        if (error.text().find(text) == std::string::npos) {
            return ::testing::AssertionFailure()
                   << "\"" << text << "\" not in the error text: " << error.text();
        }
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "no error, expected " << office::describe(code) << " with \"" << text << "\"";
}

}  // namespace office_test

#define EXPECT_OFFICE_ERROR(statement, code, text) \
    EXPECT_TRUE(::office_test::throwsOfficeError([&] { statement; }, code, text))

#define ASSERT_OFFICE_ERROR(statement, code, text) \
    ASSERT_TRUE(::office_test::throwsOfficeError([&] { statement; }, code, text))
