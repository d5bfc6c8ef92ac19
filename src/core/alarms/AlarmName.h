#pragma once
// An alarm named for a message: its number and its name from the program's
// database, in the language the core's texts are shown in.

#include <string>

namespace hx {

// "Err0017 Communication time-out" ("Err0017 通信超时"); the number alone
// when the database cannot be read or does not know it.
std::string AlarmNumberAndName(int code);

}  // namespace hx
