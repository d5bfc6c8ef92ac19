// The parameter file loader on arbitrary bytes: parsing, applying to a table
// with every kind of parameter, and the information text must neither crash
// nor touch memory they do not own.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/params/CParameter.h"
#include "core/params/ParameterFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    hx::ParameterFileContents contents = hx::ParseParameterText(bytes);

    CParameter table;
    table.RegisterType(5, "USHORT");
    table.RegisterType(31, "INT");
    table.RegisterType(30101, "INT");
    table.RegisterType(30000, "INT");  // its high word is the slot of address 149
    table.RegisterType(31999, "USHORT");
    hx::ApplyToTable(contents, table);
    // Read back what the file touched (reading all 2150 slots every run would
    // slow the search down several times over).
    for (const auto& [address, value] : contents.values) {
        (void)value;
        (void)table.GetValue(address);
    }

    std::string info = hx::InformationText(contents);
    (void)info;
    return 0;
}
