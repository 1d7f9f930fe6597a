// libCardBridge against the real pcscd, with the vpcd reader driver and the
// virtual SIM card on the other end of it.
#include "CardBridge.h"
#include "PcscdInstance.h"
#include "VirtualSimCard.h"

#include <gtest/gtest.h>

#include <winscard.h>

#include <cstring>
#include <future>
#include <random>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int waitMs = 10000;

// One pcscd for the whole program (pcsclite reads its socket path once),
// kept running from test to test; tests that stop it or change its readers
// leave it stopped, and the next test starts it afresh.
PcscdInstance& pcscd()
{
    static PcscdInstance instance;
    return instance;
}

uint16_t vpcdPort()
{
    static const uint16_t port = PcscdInstance::freePortPair();
    return port;
}

std::string firstReader()
{
    return "Virtual PCD 00 00";
}

class CardBridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = PcscdInstance::missingPieces();
        ASSERT_TRUE(missing.empty()) << "the PC/SC tests need pcscd with vpcd: " << missing;
        port = vpcdPort();
        ASSERT_NE(port, 0);
        if (!pcscd().running())
            ASSERT_TRUE(pcscd().start(port)) << pcscd().log();
        card = std::make_unique<simdevices::VirtualSimCard>(port);
    }
    void TearDown() override
    {
        CloseCardReader();
        card.reset();
        // The next test finds the reader empty.
        if (pcscd().running() && !pcscd().waitForCard(firstReader(), false, waitMs))
            pcscd().stop();
    }

    void insertCard()
    {
        card->start();
        ASSERT_TRUE(card->waitUntilConnected(waitMs));
        ASSERT_TRUE(pcscd().waitForCard(firstReader(), true, waitMs)) << pcscd().log();
    }

    int open()
    {
        std::memset(readers, 0, sizeof(readers));
        std::strcpy(readers, "Generic EMV Smartcard Reader 0");
        char scratch[256] = {};
        return OpenCardReader(1, readers, scratch);
    }

    // Sends a command through the upper-case set; returns its result.
    int send(const std::string& hex, int length = -1)
    {
        std::memset(response, 0, sizeof(response));
        responseLength = -1;
        return SendApduCommand(length < 0 ? int(hex.size()) : length, const_cast<char*>(hex.c_str()),
                               &responseLength, response);
    }

    uint16_t port = 0;
    std::unique_ptr<simdevices::VirtualSimCard> card;
    char readers[256] = {};
    char response[1024] = {};
    int responseLength = -1;
};

TEST(CharToInt, HexDigitsAndEverythingElse)
{
    EXPECT_EQ(chartoint('0'), 0);
    EXPECT_EQ(chartoint('9'), 9);
    EXPECT_EQ(chartoint('a'), 10);
    EXPECT_EQ(chartoint('f'), 15);
    EXPECT_EQ(chartoint('F'), 15);
    EXPECT_EQ(chartoint('A'), 10);
    EXPECT_EQ(chartoint('g'), 0);
    EXPECT_EQ(chartoint('G'), 0);
    EXPECT_EQ(chartoint(' '), 0);
    EXPECT_EQ(chartoint('\0'), 0);
}

TEST_F(CardBridgeTest, ReadsTheIccidFileOfASimCard)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    EXPECT_STREQ(readers, firstReader().c_str());

    unsigned char atr[33];
    std::memset(atr, 0xEE, sizeof(atr));
    ASSERT_EQ(CardPowerOn(reinterpret_cast<char*>(atr)), 0);
    const Bytes& expectedAtr = simdevices::VirtualSimCard::atr();
    EXPECT_EQ(Bytes(atr, atr + expectedAtr.size()), expectedAtr);
    EXPECT_EQ(atr[expectedAtr.size()], 0xEE) << "only the ATR's own bytes are copied";

    card->clearCommands();
    ASSERT_EQ(send("A0A40000023F00"), 0);
    EXPECT_STREQ(response, "9F1A");
    EXPECT_EQ(responseLength, 2);
    ASSERT_EQ(send("A0A40000022FE2"), 0);
    EXPECT_STREQ(response, "9F0F");
    ASSERT_EQ(send("A0B000000A"), 0);
    EXPECT_STREQ(response, "986810325476981032549000");
    EXPECT_EQ(responseLength, 12);

    const auto commands = card->commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0], (Bytes{0xA0, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00}));
    EXPECT_EQ(commands[2], (Bytes{0xA0, 0xB0, 0x00, 0x00, 0x0A}));

    EXPECT_EQ(CardPowerOff(), 0);
    EXPECT_EQ(CloseCardReader(), 0);
}

TEST_F(CardBridgeTest, ResponseTextIsAppendedToWhatTheCallerPassed)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    std::strcpy(response, "AB");
    int length = 0;
    ASSERT_EQ(SendApduCommand(14, const_cast<char*>("A0A40000023F00"), &length, response), 0);
    EXPECT_STREQ(response, "AB9F1A");
}

TEST_F(CardBridgeTest, OddAndNonHexadecimalCommandText)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    card->clearCommands();
    // The odd last character is ignored.
    ASSERT_EQ(send("A0A40000023F00F"), 0);
    // Non-hexadecimal characters count as 0; lower case is hexadecimal.
    ASSERT_EQ(send("a0a4000002ZZ0x"), 0);
    EXPECT_STREQ(response, "9404") << "file 0000 does not exist on the card";
    const auto commands = card->commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], (Bytes{0xA0, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00}));
    EXPECT_EQ(commands[1], (Bytes{0xA0, 0xA4, 0x00, 0x00, 0x02, 0x00, 0x00}));
}

TEST_F(CardBridgeTest, CommandsBeyondTheDocumentedLimitAreRefusedUntouched)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    card->clearCommands();

    std::string longest = "A0A40000" + std::string(CARDBRIDGE_MAX_COMMAND_HEX - 8, '0');
    std::strcpy(response, "kept");
    int length = 77;
    std::string tooLong = longest + "00";
    EXPECT_EQ(SendApduCommand(int(tooLong.size()), tooLong.data(), &length, response), CARDBRIDGE_E_BAD_COMMAND);
    EXPECT_EQ(SendApduCommand(-2, tooLong.data(), &length, response), CARDBRIDGE_E_BAD_COMMAND);
    EXPECT_EQ(SendApduCommand(14, nullptr, &length, response), CARDBRIDGE_E_BAD_COMMAND);
    EXPECT_EQ(SendApduCommand(14, const_cast<char*>("A0A40000023F00"), nullptr, response), CARDBRIDGE_E_BAD_COMMAND);
    EXPECT_EQ(SendApduCommand(14, const_cast<char*>("A0A40000023F00"), &length, nullptr), CARDBRIDGE_E_BAD_COMMAND);
    EXPECT_STREQ(response, "kept");
    EXPECT_EQ(length, 77);
    EXPECT_TRUE(card->commands().empty()) << "nothing may reach the card";

    // The limit itself is accepted: all 256 bytes reach the card.
    ASSERT_EQ(send(longest), 0);
    ASSERT_EQ(card->commands().size(), 1u);
    EXPECT_EQ(card->commands()[0].size(), 256u);
}

// Random command texts of every length around the limit, hexadecimal or
// not: whatever is accepted reaches the card byte for byte, whatever is
// refused reaches nothing.
TEST_F(CardBridgeTest, RandomCommandTextsReachTheCardAsWritten)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    std::mt19937 random(20261207);
    const std::string alphabet = "0123456789abcdefABCDEFxyZ -\x01\xff";
    const auto digit = [](char c) -> int {
        const char* digits = "0123456789abcdef";
        const char* at = c ? std::strchr(digits, std::tolower(static_cast<unsigned char>(c))) : nullptr;
        return at ? int(at - digits) : 0;
    };
    for (int round = 0; round < 300; ++round) {
        const int length = int(random() % 530);
        std::string text;
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        // Commands start like a real one, so the card has a header to read.
        if (length >= 4)
            text.replace(0, 4, "A0F2");
        // Under four bytes is no APDU; vpcd would take one byte for a
        // control code and wait for ever.
        if (length / 2 < 4)
            continue;
        card->clearCommands();
        const int result = send(text);
        const auto commands = card->commands();
        if (length > CARDBRIDGE_MAX_COMMAND_HEX) {
            EXPECT_EQ(result, CARDBRIDGE_E_BAD_COMMAND) << length;
            EXPECT_TRUE(commands.empty()) << length;
            continue;
        }
        ASSERT_EQ(result, 0) << length;
        ASSERT_EQ(commands.size(), 1u) << length;
        Bytes expected;
        for (int i = 0; i + 1 < length; i += 2)
            expected.push_back(uint8_t(digit(text[i]) * 16 + digit(text[i + 1])));
        EXPECT_EQ(commands[0], expected) << text;
        EXPECT_STREQ(response, "6D00");
    }
}

TEST_F(CardBridgeTest, NoCardInTheReaderFailsTheOpenAndLeavesNoContext)
{
    // The card never goes in: the reader is there, empty.
    ASSERT_TRUE(pcscd().waitForCard(firstReader(), false, waitMs)) << pcscd().log();
    const int socketsBefore = openSocketCount();
    EXPECT_EQ(open(), CARDBRIDGE_E_PCSC);
    EXPECT_EQ(openSocketCount(), socketsBefore) << "the failed open kept its PC/SC context";

    // Insert the card: the next open succeeds from a clean state.
    insertCard();
    EXPECT_EQ(open(), 0);
}

TEST_F(CardBridgeTest, ReaderListThatGrowsBetweenTwoOpens)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(CloseCardReader(), 0);

    // pcscd comes back with readers whose names are longer: the list the
    // next open receives is longer than the one before.
    const std::string longerName = "Virtual PCD behind the counter";
    ASSERT_TRUE(pcscd().start(port, longerName)) << pcscd().log();
    ASSERT_TRUE(card->waitUntilConnected(waitMs));
    ASSERT_TRUE(pcscd().waitForCard(longerName + " 00 00", true, waitMs)) << pcscd().log();

    EXPECT_EQ(open(), 0);
    EXPECT_STREQ(readers, (longerName + " 00 00").c_str());
    EXPECT_STREQ(readers + std::strlen(readers) + 1, (longerName + " 00 01").c_str());
    CloseCardReader();
    pcscd().stop();
}

TEST_F(CardBridgeTest, PowerOffThenCloseAndOpenAgain)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    const int socketsOpen = openSocketCount();
    EXPECT_EQ(CardPowerOff(), 0);
    EXPECT_EQ(CloseCardReader(), 0);
    EXPECT_EQ(openSocketCount(), socketsOpen - 1) << "the context is released";
    EXPECT_EQ(CloseCardReader(), 0) << "closing twice is harmless";

    ASSERT_TRUE(pcscd().waitForCard(firstReader(), true, waitMs));
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(send("A0A40000023F00"), 0);
    EXPECT_STREQ(response, "9F1A");
}

TEST_F(CardBridgeTest, CardPulledOutMidSessionPassesThePcscStatusThrough)
{
    insertCard();
    ASSERT_EQ(open(), 0);
    card->setInserted(false);
    ASSERT_TRUE(card->waitUntilDisconnected(waitMs));
    ASSERT_TRUE(pcscd().waitForCard(firstReader(), false, waitMs));
    std::strcpy(response, "");
    int length = 5;
    const int result = SendApduCommand(14, const_cast<char*>("A0A40000023F00"), &length, response);
    EXPECT_NE(result, 0);
    EXPECT_TRUE(result == int(SCARD_W_REMOVED_CARD) || result == int(SCARD_E_NO_SMARTCARD) ||
                result == int(SCARD_W_RESET_CARD))
        << std::hex << result;
    EXPECT_STREQ(response, "");
    EXPECT_EQ(length, 5);
}

TEST_F(CardBridgeTest, LowerCaseSetSpeaksBinaryAndPcscStatuses)
{
    insertCard();
    EXPECT_EQ(openCardReader(), SCARD_S_SUCCESS);
    char atr[33] = {};
    int atrLength = 0;
    ASSERT_EQ(cardPowerOn(atr, &atrLength), SCARD_S_SUCCESS);
    EXPECT_EQ(atrLength, int(simdevices::VirtualSimCard::atr().size()));

    unsigned char command[] = {0xA0, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00};
    unsigned char answer[256] = {};
    int answerLength = 0;
    ASSERT_EQ(sendAPDUCommand(command, sizeof(command), answer, &answerLength), SCARD_S_SUCCESS);
    EXPECT_EQ(Bytes(answer, answer + answerLength), (Bytes{0x9F, 0x1A}));
    EXPECT_EQ(cardPowerOff(), 0);
    EXPECT_EQ(closeCardReader(), 0);
    EXPECT_NE(sendAPDUCommand(command, sizeof(command), answer, &answerLength), SCARD_S_SUCCESS)
        << "after closing there is no connection";
}

TEST_F(CardBridgeTest, ServiceNotRunningIsSaidInPlainWords)
{
    pcscd().stop();
    testing::internal::CaptureStderr();
    EXPECT_EQ(open(), CARDBRIDGE_E_PCSC);
    const std::string said = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_NE(said.find("PC/SC service (pcscd) is not running"), std::string::npos) << said;
    EXPECT_EQ(openCardReader(), SCARD_E_NO_SERVICE);
    testing::internal::GetCapturedStderr();
}

// Mode 0 must not reach PC/SC at all: a listener stands where pcscd would,
// and no connection may arrive. Mode 1 against the same listener proves
// that it would see one.
TEST_F(CardBridgeTest, ModeZeroMakesNoPcscCall)
{
    pcscd().stop();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, pcscd().socketPath().c_str(), sizeof(address.sun_path) - 1);
    ::unlink(address.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    char buffer[256] = "Generic EMV Smartcard Reader 0";
    EXPECT_EQ(OpenCardReader(0, buffer, nullptr), CARDBRIDGE_E_MODE);
    EXPECT_STREQ(buffer, "Generic EMV Smartcard Reader 0");
    pollfd pending{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&pending, 1, 0), 0) << "mode 0 connected to the PC/SC service";

    auto opened = std::async(std::launch::async, [&buffer] { return OpenCardReader(1, buffer, nullptr); });
    ASSERT_EQ(::poll(&pending, 1, waitMs), 1) << "the listener would not have seen a PC/SC call";
    ::close(::accept(listener, nullptr, nullptr));
    EXPECT_EQ(opened.get(), CARDBRIDGE_E_PCSC);
    ::close(listener);
    ::unlink(address.sun_path);
}

} // namespace
