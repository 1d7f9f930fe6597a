// The virtual SIM card's answers, without any transport: the tests of the
// PC/SC path rely on it behaving like a GSM SIM.
#include "VirtualSimCard.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes selectMf{0xA0, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00};
const Bytes selectIccid{0xA0, 0xA4, 0x00, 0x00, 0x02, 0x2F, 0xE2};
const Bytes readIccid{0xA0, 0xB0, 0x00, 0x00, 0x0A};

TEST(VirtualSimCard, StoresIccidDigitsWithSwappedNibbles)
{
    EXPECT_EQ(simdevices::VirtualSimCard::iccidBytes("89860123456789012345"),
              (Bytes{0x98, 0x68, 0x10, 0x32, 0x54, 0x76, 0x98, 0x10, 0x32, 0x54}));
    // A 19-digit ICCID is padded with F.
    EXPECT_EQ(simdevices::VirtualSimCard::iccidBytes("8986012345678901234").back(), 0xF4);
}

TEST(VirtualSimCard, AnswersTheIccidConversation)
{
    simdevices::VirtualSimCard card;
    EXPECT_EQ(card.respond(readIccid), (Bytes{0x94, 0x00})) << "no file selected yet";
    EXPECT_EQ(card.respond(selectMf), (Bytes{0x9F, 0x1A}));
    EXPECT_EQ(card.respond(selectIccid), (Bytes{0x9F, 0x0F}));
    Bytes expected = simdevices::VirtualSimCard::iccidBytes("89860123456789012345");
    expected.insert(expected.end(), {0x90, 0x00});
    EXPECT_EQ(card.respond(readIccid), expected);
    EXPECT_EQ(card.commands().size(), 4u);
}

TEST(VirtualSimCard, ScriptedFaults)
{
    simdevices::VirtualSimCard card;
    simdevices::SimCardScript script;
    script.selectIccidFileStatus = 0x6A82;
    script.readBinaryBytes = 4;
    card.setScript(script);
    EXPECT_EQ(card.respond(selectMf), (Bytes{0x9F, 0x1A}));
    EXPECT_EQ(card.respond(selectIccid), (Bytes{0x6A, 0x82}));

    script.selectIccidFileStatus.reset();
    card.setScript(script);
    card.respond(selectIccid);
    EXPECT_EQ(card.respond(readIccid), (Bytes{0x98, 0x68, 0x10, 0x32, 0x90, 0x00})) << "short answer";

    Bytes isoClass = selectMf;
    isoClass[0] = 0x00;
    EXPECT_EQ(card.respond(isoClass), (Bytes{0x6E, 0x00}));
    EXPECT_EQ(card.respond({0xA0, 0xF2, 0x00, 0x00}), (Bytes{0x6D, 0x00}));
    EXPECT_EQ(card.respond({0xA0}), (Bytes{0x67, 0x00}));
}

} // namespace
