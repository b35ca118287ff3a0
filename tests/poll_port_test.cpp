#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "port/io.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "printhead/page_image.h"
#include "tests/ink.h"
#include "tests/kit.h"

using pexal_test::LockHolder;

namespace {

class Poll : public pexal_test::PollTest {
protected:
    std::uint8_t port130() const { return static_cast<std::uint8_t>(fileBytes()->at(30)); }
};

TEST_F(Poll, EmptyPortLeavesPageAndFileAlone) {
    std::string bytes(64, '\0');
    bytes[31] = 'Q';  // another port's byte
    setFileBytes(bytes);
    PollPort();
    PollPort();
    EXPECT_EQ(printed->text(), "");
    EXPECT_EQ(fileBytes(), bytes);
    EXPECT_EQ(report.str(), "");
}

TEST_F(Poll, WaitingCharacterIsPrintedAtHomeAndThePortCleared) {
    PageImage page;
    General::SetPage(&page);
    setPort(130, 65);
    PollPort();
    EXPECT_EQ(port130(), 0);
    EXPECT_EQ(General::PosX, 11);
    EXPECT_TRUE(pexal_test::InkIn(page.image(), QRect(3, 5, 8, 15)));
    const QImage once = page.image();
    PollPort();
    EXPECT_EQ(page.image(), once) << "the character must be printed once";
}

TEST_F(Poll, ControlCodesAreTakenFromThePortToo) {
    General::PrintChar("A");
    setPort(130, 13);
    PollPort();
    EXPECT_EQ(General::PosX, 3);
    EXPECT_EQ(port130(), 0);

    General::PrintChar("A");
    setPort(130, 9);
    PollPort();
    EXPECT_EQ(General::PosX, 11);
    EXPECT_EQ(port130(), 0);
    EXPECT_EQ(printed->text(), "AA") << "only the two A's were drawn";
}

TEST_F(Poll, CharacterWhoseClearFailsIsPrintedOnceWhenTheClearSucceeds) {
    setPort(130, 'K');
    {
        LockHolder host(portFile(), 30, /*exclusive=*/false);  // reading allowed, writing not
        for (int tick = 0; tick < 5; ++tick) PollPort();
        EXPECT_EQ(printed->text(), "");
        EXPECT_EQ(port130(), 'K');
        EXPECT_EQ(reportLines(), 1) << report.str();
        EXPECT_NE(report.str().find(portFile().string()), std::string::npos) << report.str();
    }
    PollPort();
    PollPort();
    EXPECT_EQ(printed->text(), "K");
    EXPECT_EQ(port130(), 0);
    EXPECT_EQ(reportLines(), 2) << report.str();
    EXPECT_NE(report.str().find("works again"), std::string::npos);
}

TEST_F(Poll, ABriefLockAtTheMomentOfTheTakeNeitherDelaysNorReports) {
    // A host polling the port holds its lock for microseconds; here for a millisecond.
    for (const bool exclusive : {false, true}) {
        for (char c = 'a'; c <= 'e'; ++c) {
            setPort(130, static_cast<std::uint8_t>(c));
            LockHolder host(portFile(), 30, exclusive, /*holdMicroseconds=*/1000);
            PollPort();
            EXPECT_EQ(port130(), 0) << c << ": taken within the same tick";
        }
    }
    EXPECT_EQ(printed->text(), "abcdeabcde");
    EXPECT_EQ(report.str(), "");
}

TEST_F(Poll, UnusablePortFileIsReportedOncePerChangeOfState) {
    std::filesystem::create_directory(portFile());
    for (int tick = 0; tick < 5; ++tick) PollPort();
    EXPECT_EQ(reportLines(), 1) << report.str();
    std::filesystem::remove(portFile());
    setPort(130, 'x');
    for (int tick = 0; tick < 5; ++tick) PollPort();
    EXPECT_EQ(reportLines(), 2) << report.str();
    EXPECT_EQ(printed->text(), "x");
}

// The feeder and the poll cycle in two processes, as a user would run them.
class Feeder : public Poll {
protected:
    // Polls until the feeder exits; returns its exit status.
    int pollUntilDone(pexal_test::Child& feeder) {
        for (;;) {
            if (const auto status = feeder.Finished()) return *status;
            PollPort();
            ::usleep(200);
        }
    }
    std::string errors() const { return readFile("stderr.txt"); }
};

TEST_F(Feeder, WhatItSendsArrivesInOrderOnce) {
    pexal_test::Child feeder({PEXAL_SEND_PATH, "--timeout", "20", "Hi", "\xC3\xA9\nyo"});
    EXPECT_EQ(pollUntilDone(feeder), 0);
    EXPECT_EQ(printed->text(), "Hi \xE9yo");
    EXPECT_EQ(General::PosY, 35) << "each newline went as CR LF, one ending the text like echo";
    EXPECT_EQ(General::PosX, 3);
    EXPECT_EQ(port130(), 0);
}

TEST_F(Feeder, RawStandardInputIsSentUnchanged) {
    pexal_test::Child feeder({PEXAL_SEND_PATH, "--raw"}, /*pipeInput=*/true);
    feeder.Write("a\n\x80\xFF");
    feeder.CloseInput();
    EXPECT_EQ(pollUntilDone(feeder), 0);
    EXPECT_EQ(printed->text(), "a\x80\xFF");
    EXPECT_EQ(General::PosY, 20);
    EXPECT_EQ(General::PosX, 3 + 3 * 8) << "a raw newline is a bare line feed";
}

TEST_F(Feeder, TimesOutWithExit2WhenNobodyPolls) {
    pexal_test::Child feeder({PEXAL_SEND_PATH, "--timeout", "0.2", "ab"}, false,
                             (dir() / "stderr.txt").string());
    EXPECT_EQ(feeder.Wait(), 2);
    EXPECT_EQ(port130(), 0) << "the byte nobody took was taken back";
    EXPECT_NE(errors().find("0 bytes taken; the rest was withdrawn"), std::string::npos)
        << errors();
    EXPECT_NE(errors().find(portFile().string()), std::string::npos) << errors();
    EXPECT_NE(errors().find("pexal-printer"), std::string::npos) << errors();
}

}  // namespace
