#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "port/io.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "window/qt/paper.h"
#include "tests/ink.h"
#include "tests/kit.h"

using pexal_test::LockHolder;

namespace {

class Poll : public pexal_test::PollTest {};

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
    Paper page;
    printer::PrintedPage onPaper(page);
    General::SetPage(&onPaper);
    setPort(130, 65);
    PollPort();
    EXPECT_EQ(portByte(), 0);
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
    EXPECT_EQ(portByte(), 0);

    General::PrintChar("A");
    setPort(130, 9);
    PollPort();
    EXPECT_EQ(General::PosX, 11);
    EXPECT_EQ(portByte(), 0);
    EXPECT_EQ(printed->text(), "AA") << "only the two A's were drawn";
}

TEST_F(Poll, CharacterWhoseClearFailsIsPrintedOnceWhenTheClearSucceeds) {
    setPort(130, 'K');
    {
        LockHolder host(portFile(), 30, /*exclusive=*/false);  // reading allowed, writing not
        ticks(5);
        EXPECT_EQ(printed->text(), "");
        EXPECT_EQ(portByte(), 'K');
        EXPECT_EQ(reportLines(), 1) << report.str();
        EXPECT_NE(report.str().find(portFile().string()), std::string::npos) << report.str();
    }
    ticks(2);
    EXPECT_EQ(printed->text(), "K");
    EXPECT_EQ(portByte(), 0);
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
            EXPECT_EQ(portByte(), 0) << c << ": taken within the same tick";
        }
    }
    EXPECT_EQ(printed->text(), "abcdeabcde");
    EXPECT_EQ(report.str(), "");
}

TEST_F(Poll, OnlyASecondOfFailingTicksIsReported) {
    const struct {
        int failingTicks, linesWhileFailing, linesAfter;
    } cases[] = {{1, 0, 0}, {4, 0, 0}, {5, 1, 2}, {9, 1, 2}};
    for (const auto& c : cases) {
        reporter = {};
        report.str("");
        std::filesystem::remove(portFile());
        std::filesystem::create_directory(portFile());
        ticks(c.failingTicks);
        EXPECT_EQ(reportLines(), c.linesWhileFailing) << c.failingTicks << " ticks";
        std::filesystem::remove(portFile());
        ticks(1);
        EXPECT_EQ(reportLines(), c.linesAfter) << c.failingTicks << " ticks: " << report.str();
    }
}

TEST_F(Poll, AReportStaysOneLineWhateverBytesItsPathHolds) {
    const std::filesystem::path odd = dir() / "new\nline\x1b[31m";
    std::filesystem::create_directories(odd / "dov_port.dat");
    const pexal_test::ScopedEnv temp("TMPDIR", odd.string());
    ticks(5);
    EXPECT_EQ(reportLines(), 1) << report.str();
    EXPECT_NE(report.str().find("$'" + dir().string() + "/new\\nline\\E[31m/dov_port.dat'"),
              std::string::npos)
        << report.str();
}

TEST_F(Poll, UnusablePortFileIsReportedOncePerChangeOfState) {
    std::filesystem::create_directory(portFile());
    ticks(5);
    EXPECT_EQ(reportLines(), 1) << report.str();
    std::filesystem::remove(portFile());
    setPort(130, 'x');
    ticks(5);
    EXPECT_EQ(reportLines(), 2) << report.str();
    EXPECT_EQ(printed->text(), "x");
}

// The feeder and the poll cycle in two processes, as a user would run them.
class Feeder : public Poll {};

TEST_F(Feeder, WhatItSendsArrivesInOrderOnce) {
    pexal_test::Child feeder({PEXAL_SEND_PATH, "--timeout", "20", "Hi", "\xC3\xA9\nyo"});
    EXPECT_EQ(pollUntilExit(feeder), 0);
    EXPECT_EQ(printed->text(), "Hi \xE9yo");
    EXPECT_EQ(General::PosY, 35) << "each newline went as CR LF, one ending the text like echo";
    EXPECT_EQ(General::PosX, 3);
    EXPECT_EQ(portByte(), 0);
}

TEST_F(Feeder, ArgumentsEndWithANewlineUnlessTold) {
    const struct {
        std::vector<std::string> args;
        int x, y;
    } cases[] = {
        {{"ab"}, 3, 20},  // CR LF after the text, like echo
        {{"-n", "ab"}, 19, 5},
        {{"--no-newline", "ab"}, 19, 5},
    };
    for (const auto& c : cases) {
        printed->marks.clear();
        General::HomeHead();
        std::vector<std::string> argv{PEXAL_SEND_PATH, "--timeout", "20"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        pexal_test::Child feeder(argv);
        EXPECT_EQ(pollUntilExit(feeder), 0) << c.args[0];
        EXPECT_EQ(printed->text(), "ab") << c.args[0];
        EXPECT_EQ(General::PosX, c.x) << c.args[0];
        EXPECT_EQ(General::PosY, c.y) << c.args[0];
    }
}

TEST_F(Feeder, RawStandardInputIsSentUnchanged) {
    pexal_test::Child feeder({PEXAL_SEND_PATH, "--raw"}, /*pipeInput=*/true);
    feeder.Write("a\n\x80\xFF");
    feeder.CloseInput();
    EXPECT_EQ(pollUntilExit(feeder), 0);
    EXPECT_EQ(printed->text(), "a\x80\xFF");
    EXPECT_EQ(General::PosY, 20);
    EXPECT_EQ(General::PosX, 3 + 3 * 8) << "a raw newline is a bare line feed";
}

TEST_F(Feeder, TimesOutWithExit2WhenNobodyPolls) {
    pexal_test::Child feeder({PEXAL_SEND_PATH, "--timeout", "0.2", "ab"}, false,
                             (dir() / "stderr.txt").string());
    EXPECT_EQ(feeder.Wait(), 2);
    EXPECT_EQ(portByte(), 0) << "the byte nobody took was taken back";
    EXPECT_NE(errors().find("0 bytes taken; the rest was withdrawn"), std::string::npos)
        << errors();
    EXPECT_NE(errors().find(portFile().string()), std::string::npos) << errors();
    EXPECT_NE(errors().find("pexal-printer"), std::string::npos) << errors();
}

}  // namespace
