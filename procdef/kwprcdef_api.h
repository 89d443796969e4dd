#pragma once
// Symbols of libKWPrcDef.so that the program and the packages use.
#define KWPRCDEF_API __attribute__((visibility("default")))
