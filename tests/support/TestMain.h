#pragma once

#include <QObject>

// Every test folder builds into one executable; each test class registers itself with
// ORVEX_TEST(Class). `test_<folder> Class [qtest args]` runs one class, without a class
// name it runs them all.
namespace orvex_test {
using Factory = QObject* (*)();
bool registerTest(const char* name, Factory make);
} // namespace orvex_test

#define ORVEX_TEST(Class)                                                                          \
    static const bool orvexRegistered##Class =                                                     \
        orvex_test::registerTest(#Class, []() -> QObject* { return new Class; });
