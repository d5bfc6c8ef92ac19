#pragma once
// The drive's parameter attribute blocks, read into the attribute bitmap of
// a parameter table when a drive is connected.

#include <cstdint>
#include <string>

#include "core/link/DriveHandle.h"

class CParameter;

namespace hx {

struct AttributeBlocksResult {
    bool block1Failed = false;   // the bitmap was left as it was
    bool block2Failed = false;
    bool block3Failed = false;
    bool loaded = false;         // the bitmap was replaced
    int lastReplyElements = 0;   // element count of the last reply

    bool Failed() const { return block1Failed || block2Failed || block3Failed; }
    // The messages to show, one per failure kind, empty when none:
    // "Read attribute block1 fault!dataLenght=0" and
    // "Read attribute block2 fault!dataLenght=<n>" (blocks 2 and 3).
    std::string Block1Message() const;
    std::string Block23Message() const;
};

// Block 1 (10 registers from 100) into bytes 0..19 of a 270-byte zeroed
// buffer; from firmware 200.0 on also blocks 2 and 3 (50 registers from
// 63000 and 63050) into bytes 20.. and 120..; then the buffer becomes the
// table's bitmap and a fixed set of command and status addresses is hidden.
// A block-1 read that fails leaves the bitmap untouched.
AttributeBlocksResult ReadAttributeBlocks(DriveHandle drive, CParameter& table);

}  // namespace hx
