// The property list as built from the plug-in's constants, and the reader that walks it.
#include <gtest/gtest.h>

#include "pipl_expectations.h"
#include "resources/pipl_layout.h"

namespace mst::test {
namespace {

TEST(PiplLayout, BuiltListMatchesTheLayout) {
    expectPiplLayout(PIPL_BYTES.data(), PIPL_SIZE);
}

TEST(PiplLayout, FourCharacterCodesReadFirstCharacterHighest) {
    EXPECT_EQ(fourCharCode("eFKT"), 0x65464B54u);
    EXPECT_EQ(fourCharCode("8BIM"), 0x3842494Du);
}

// Damaged lists: the reader stops and says why instead of reading past the end.
TEST(PiplReader, RejectsDamagedLists) {
    std::vector<uint8_t> good(PIPL_BYTES.begin(), PIPL_BYTES.end());
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    auto withCount = [&](uint32_t count) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i)
            b[6 + i] = static_cast<uint8_t>(count >> (8 * i));
        return b;
    };
    auto withLastLength = [&](uint32_t length) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i)
            b[290 + 12 + i] = static_cast<uint8_t>(length >> (8 * i));
        return b;
    };
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    const Case cases[] = {
        {"shorter than the header", std::vector<uint8_t>(good.begin(), good.begin() + 9)},
        {"cut inside the last property", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"one property more declared", withCount(13)},
        {"one property fewer declared", withCount(11)},
        {"last length past the end", withLastLength(5)},
        {"last length wrapping around", withLastLength(0xFFFFFFFEu)},
        {"a byte after the last property", longer},
    };
    for (const Case& c : cases) {
        const PiplList list = readPipl(c.bytes.data(), c.bytes.size());
        EXPECT_NE(list.error, "") << c.name;
        EXPECT_LE(list.end, c.bytes.size()) << c.name;
    }
}

}  // namespace
}  // namespace mst::test
