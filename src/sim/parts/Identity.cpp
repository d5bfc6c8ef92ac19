#include "sim/parts/Identity.h"

#include "core/protocol/Registers.h"
#include "sim/DriveOptions.h"

namespace hx::sim {

void EncodeText(const std::string& text, uint16_t* regs, int count) {
    for (int i = 0; i < count; ++i) {
        size_t k = static_cast<size_t>(i) * 2;
        uint8_t hi = k < text.size() ? static_cast<uint8_t>(text[k]) : 0;
        uint8_t lo = k + 1 < text.size() ? static_cast<uint8_t>(text[k + 1]) : 0;
        regs[i] = static_cast<uint16_t>(hi << 8 | lo);
    }
}

Identity::Identity(const DriveOptions& options) {
    uint16_t product[reg::kProductModelLast - reg::kProductModelFirst + 1];
    EncodeText(options.productModel, product, static_cast<int>(std::size(product)));
    for (int i = 0; i < static_cast<int>(std::size(product)); ++i)
        m_values[static_cast<uint16_t>(reg::kProductModelFirst + i)] = product[i];
    uint16_t model[reg::kDriveModelLast - reg::kDriveModelFirst + 1];
    EncodeText(options.driveModel, model, static_cast<int>(std::size(model)));
    for (int i = 0; i < static_cast<int>(std::size(model)); ++i)
        m_values[static_cast<uint16_t>(reg::kDriveModelFirst + i)] = model[i];
    m_values[reg::kSoftwareVersion] = static_cast<uint16_t>(options.softwareRegister);
    m_values[reg::kFirmwareVersion] = static_cast<uint16_t>(options.firmwareRegister);
    m_values[reg::kVariantCode] = options.variantCode;
}

std::vector<AddressRange> Identity::Ranges() const {
    return {{reg::kProductModelFirst, reg::kProductModelLast},
            {reg::kSoftwareVersion, reg::kSoftwareVersion},
            {reg::kFirmwareVersion, reg::kFirmwareVersion},
            {reg::kVariantCode, reg::kVariantCode},
            {reg::kDriveModelFirst, reg::kDriveModelLast}};
}

uint8_t Identity::Read(uint16_t address, uint16_t& value) {
    value = m_values.at(address);
    return mbex::kNone;
}

int16_t Identity::FirmwareRegister() const { return static_cast<int16_t>(m_values.at(reg::kFirmwareVersion)); }

}  // namespace hx::sim
