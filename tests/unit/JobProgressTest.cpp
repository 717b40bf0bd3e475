// The progress of a running extraction: the side channel's lines, the share, the page line, the
// estimate of the time left and the notes on single pages.

#include "core/extraction/JobProgress.h"
#include "core/extraction/PageNotes.h"
#include "support/FakePorts.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace larkspan {
namespace {

using namespace std::chrono_literals;

TEST(ProgressLine, TheLastCompleteWellFormedLineCounts) {
    struct Case {
        const char* bytes;
        bool cut;
        std::optional<ProgressCount> count;
    };
    const std::optional<ProgressCount> none;
    for (const Case& c : {
             Case{"0 300\n5 300\n", false, ProgressCount{5, 300}},
             Case{"0 300\n5 300\n6 3", false, ProgressCount{5, 300}}, // still being written
             Case{"0 300\n5 300\nnot a count\n\n", false, ProgressCount{5, 300}},
             Case{"0 300\n7 300\r\n", false, ProgressCount{7, 300}},
             Case{"300 300\n", false, ProgressCount{300, 300}},
             Case{"5 300", false, none},
             Case{"+1 300\n", false, none},
             Case{"301 300\n", false, none},
             Case{"0 0\n", false, none},
             Case{"1  300\n", false, none},
             Case{"0 300\n7 030\n", false, ProgressCount{0, 300}}, // no count of the tool's
             Case{"00 300\n", false, none},
             Case{"99999999999999999999 99999999999999999999\n", false, none},
             // The end of a longer file: "00 300" is what is left of "300 300" or "100 300".
             Case{"00 300\n", true, none},
             Case{"00 300\n5 300\n", true, ProgressCount{5, 300}},
         }) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.bytes)));
        EXPECT_EQ(LastProgressLine(c.bytes, c.cut), c.count);
    }
    EXPECT_EQ(LastProgressLine(std::string_view("1 3\0\n2 3\n", 9), false), (ProgressCount{2, 3}));
}

TEST(TimeLeft, SecondsInStepsOfFiveThenMinutesThenHours) {
    for (const auto& [seconds, text] : std::initializer_list<std::pair<int, const char*>>{
             {0, "about 5 s left"},
             {1, "about 5 s left"},
             {41, "about 45 s left"},
             {55, "about 55 s left"},
             {56, "about 1 min left"},
             {89, "about 1 min left"},
             {90, "about 2 min left"},
             {3569, "about 59 min left"},
             {3570, "about 1 h left"},
             {3600 + 65 * 60, "about 2 h 5 min left"},
         }) {
        EXPECT_EQ(TimeLeftText(std::chrono::seconds(seconds)), text) << seconds;
    }
}

TEST(JobProgressModel, TheShareAndThePageBeingWorkedOn) {
    JobProgress progress;
    const auto start = JobProgress::Clock::time_point{};
    EXPECT_EQ(progress.Percent(), 0);
    EXPECT_EQ(progress.Line(), "");

    EXPECT_TRUE(progress.Update({0, 300}, start));
    EXPECT_EQ(progress.Percent(), 0);
    EXPECT_EQ(progress.Line(), "Page 1 of 300");
    EXPECT_FALSE(progress.Update({0, 300}, start + 100ms)) << "nothing new to show";

    EXPECT_TRUE(progress.Update({299, 300}, start + 200ms));
    EXPECT_EQ(progress.Percent(), 99) << "100 only when every page is done";
    // Not the extractor's progress: going back, another total.
    EXPECT_FALSE(progress.Update({12, 300}, start + 300ms));
    EXPECT_FALSE(progress.Update({299, 400}, start + 300ms));
    EXPECT_EQ(progress.Line(), "Page 300 of 300");

    EXPECT_TRUE(progress.Update({300, 300}, start + 400ms));
    EXPECT_EQ(progress.Percent(), 100);
    EXPECT_EQ(progress.Line(), "Page 300 of 300");

    // Pages 100 to 200 of 300: the extractor counts places in the range, the line names pages
    // from the start; a count that does not fit the document shows places.
    JobProgress range({100, 300});
    EXPECT_EQ(range.Line(), "Page 100 of 300");
    range.Update({50, 101}, start);
    EXPECT_EQ(range.Line(), "Page 150 of 300");
    range.Update({101, 101}, start);
    EXPECT_EQ(range.Line(), "Page 200 of 300");
    JobProgress misfit({250, 300});
    misfit.Update({10, 101}, start);
    EXPECT_EQ(misfit.Line(), "Page 11 of 101");
}

TEST(JobProgressModel, TheTimeLeftComesOnceThePaceIsFairAndGrowsWhileAPageTakesLong) {
    JobProgress progress;
    const auto start = JobProgress::Clock::time_point{} + 1h;
    // The pace is measured from the first count read, not from the start of the job.
    progress.Update({10, 1010}, start);
    progress.Update({200, 1010}, start + 2s); // many pages, but too short a time
    EXPECT_EQ(progress.TimeLeft(), std::nullopt);
    JobProgress slow;
    slow.Update({0, 100}, start);
    slow.Update({2, 100}, start + 10s); // long enough, but too few pages
    EXPECT_EQ(slow.TimeLeft(), std::nullopt);

    progress.Update({410, 1010}, start + 4s); // 0.01 s a page, 600 pages to go
    EXPECT_EQ(progress.TimeLeft(), 6s);
    EXPECT_EQ(progress.Line(), "Page 411 of 1010 \xE2\x80\x94 about 10 s left");
    // No page done for 8 s: the pace so far is slower, and the estimate says so.
    EXPECT_TRUE(progress.Update({410, 1010}, start + 12s));
    EXPECT_EQ(progress.TimeLeft(), 18s);
    progress.Update({1010, 1010}, start + 13s);
    EXPECT_EQ(progress.TimeLeft(), std::nullopt);
}

TEST(ProgressFollowerReading, ReadsOnlyTheEndOfTheFileAndToleratesItsAbsence) {
    testing::MemoryFiles files;
    ProgressFollower follower(files, "/temp/progress");
    const auto now = JobProgress::Clock::time_point{};
    EXPECT_FALSE(follower.Poll(now)) << "no file yet";

    files.files["/temp/progress"].contents = "0 100000\n";
    EXPECT_TRUE(follower.Poll(now));
    EXPECT_EQ(follower.Progress().Line(), "Page 1 of 100000");

    // A long file whose end starts in the middle of a line that would read as a count.
    std::string lines;
    for (int done = 1; lines.size() < 10 * kProgressTailBytes; ++done) {
        lines += std::to_string(done * 7) + " 100000\n";
    }
    lines += "99999 100000\n99";
    files.files["/temp/progress"].contents = "0 100000\n" + lines;
    EXPECT_TRUE(follower.Poll(now));
    EXPECT_EQ(follower.Progress().Percent(), 99);
    EXPECT_EQ(follower.Progress().Line(), "Page 100000 of 100000");

    files.files.erase("/temp/progress");
    EXPECT_FALSE(follower.Poll(now)) << "a missing file changes nothing";
    EXPECT_EQ(follower.Progress().Percent(), 99);
}

} // namespace
} // namespace larkspan

namespace larkspan {
namespace {

TEST(PageNotes, WrittenAmongCountsTheyReadBackAndTellTheUser) {
    // Every other page of 200: 100 pages, of which the lines list the first kListedSpans.
    std::vector<std::int32_t> everyOther;
    for (std::int32_t page = 200; page >= 2; page -= 2) {
        everyOther.push_back(page);
    }
    PageNotes notes;
    notes.unread = ListPages(everyOther);
    notes.withoutModel["Cyrillic"] = ListPages({7, 5, 6, 5});
    notes.withoutModel["not a word"] = ListPages({1});
    const std::string lines = PageNotesLines(notes);
    EXPECT_EQ(notes.unread.count, 100);
    ASSERT_EQ(notes.unread.spans.size(), kListedSpans);
    EXPECT_EQ(notes.withoutModel["Cyrillic"].spans, (std::vector<PageSpan>{{5, 7}}));

    // Counts, garbage, a line cut at the start and one still being written are passed over.
    const std::string file = "nread 9 9\n0 200\n" + lines + "unread 1 3-4\nunread 1 0\n" +
                             "nomodel Greek 1 4-5\n200 200\nunread 1 8";
    const PageNotes read = ReadPageNotes(file, true);
    EXPECT_EQ(read.unread, notes.unread);
    EXPECT_EQ(read.withoutModel,
              (std::map<std::string, PageList>{{"Cyrillic", notes.withoutModel["Cyrillic"]}}));
    EXPECT_EQ(ReadPageNotes(lines, false), read);
    EXPECT_TRUE(ReadPageNotes(lines, true).unread.count == 0);

    EXPECT_EQ(PageNotesMessage(read),
              "Pages 2, 4, 6, 8, 10, 12, 14, 16, 18, 20 and 90 more could not be recognised, so "
              "their text is missing from the text file.\r\n\r\nPages 5-7 are in Cyrillic script, "
              "for which no recognition model is installed: they were read with another model, "
              "so their text may be wrong.");
    EXPECT_EQ(PageNotesMessage({ListPages({3}), {}}),
              "Page 3 could not be recognised, so its text is missing from the text file.");
    EXPECT_EQ(PageNotesMessage({}), "");
}

} // namespace
} // namespace larkspan
