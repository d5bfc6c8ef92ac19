#pragma once
// Small text helpers shared by the settings file, the link, the database
// layer and the parameter files.

#include <cstdint>
#include <string>
#include <string_view>

namespace hx {

// Without leading and trailing white space.
std::string Trim(std::string_view text);

// Decimal text read leniently, as every stored file and table has always been
// read: leading white space, an optional sign, then digits up to the first
// other character; 0 when there are none; clamped to the 32-bit range.
int32_t LenientToInt(std::string_view text);

// "%2Fdev%2FttyUSB0@5": one file name per port and station, whatever the
// port's name holds (letters, digits, '.', '_' and '-' kept, the rest as %XX).
std::string PortStationFileName(std::string_view port, int station);

}  // namespace hx
