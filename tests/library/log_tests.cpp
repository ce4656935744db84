// SPDX-License-Identifier: MIT
// The log file, byte for byte: layout, level filter, size limit, rotation, reopening, concurrency.
#include <boost/filesystem.hpp>

#include <fstream>
#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "logging/log.h"
#include "tests/support/support.h"

using kova_test::strip_prefixes;
using nvr::vantorquadrelv3::log_print;

namespace {

class LogFile : public kova_test::KovaTest {
protected:
    static std::string read(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    bool exists(const std::string& path) const { return boost::filesystem::exists(path); }
    std::string folder_path() const { return folder_ + "/Celdra/Nivora SDK"; }
};


} // namespace

TEST_F(LogFile, LineIsTimestampThreadAndTextWithLineFeedsStoredAsCrLf)
{
    ASSERT_EQ(initialize(3), KOVA_OK);
    vqsim_log_text("first\nsecond");
    std::string bytes = log_bytes();
    ASSERT_GE(bytes.size(), 45u);
    std::string prefix = bytes.substr(0, 45);
    EXPECT_TRUE(kova_test::is_line_prefix(prefix, 0)) << prefix;
    EXPECT_EQ(prefix.substr(24, 4), "Thd ");
    EXPECT_EQ(bytes.substr(45), "VQUAD Logs : first\r\nsecond\r\r\n");
    EXPECT_EQ(exists(predecessor_path()), false);
}

TEST_F(LogFile, LevelDecidesWhichLinesAreWritten)
{
    // Level-1: the forwarded library text; level-2: the dirty-open warning; level-3: a refused open.
    auto emit_one_of_each = [] {
        vqsim_log_text("library text");
        vqsim_set_dirty(kova_test::default_sensor, 1);
        std::uint32_t handle = 0;
        KovaOpenDevice(kova_test::default_sensor, &handle);
        KovaCloseDevice_N(handle);
        KovaOpenDevice("no such scanner", &handle);
    };
    const std::string library = "VQUAD Logs : library text";
    const std::string warning = "open_device TFTManager open_device:    Warning=18\r\r\n";
    const std::string refusal = "open_device TFTManager open_device:    Error=8\r\r\n";

    emit_one_of_each(); // before any initialise: nothing at all
    EXPECT_FALSE(exists(log_path()));

    ASSERT_EQ(initialize(0), KOVA_OK);
    emit_one_of_each();
    EXPECT_FALSE(exists(log_path()));

    ASSERT_EQ(initialize(1), KOVA_OK);
    emit_one_of_each();
    std::string texts = log_texts();
    EXPECT_NE(texts.find(library), std::string::npos);
    EXPECT_EQ(texts.find(warning), std::string::npos);
    EXPECT_EQ(texts.find(refusal), std::string::npos);

    ASSERT_EQ(initialize(2), KOVA_OK);
    emit_one_of_each();
    texts = log_texts();
    EXPECT_NE(texts.find(warning), std::string::npos);
    EXPECT_EQ(texts.find(refusal), std::string::npos);

    ASSERT_EQ(initialize(0xFFFFFFFFu), KOVA_OK); // stored as 4: everything
    emit_one_of_each();
    EXPECT_NE(log_texts().find(refusal), std::string::npos);
}

TEST_F(LogFile, LongTextIsCutTo1023Characters)
{
    ASSERT_EQ(initialize(1), KOVA_OK);
    log_print(1, "%s", std::string(3000, 'a').c_str());
    EXPECT_EQ(log_texts(), std::string(1023, 'a'));
}

TEST_F(LogFile, TextsAsLongAsTheLimitAreDropped)
{
    ASSERT_EQ(initialize(1, 10), KOVA_OK);
    log_print(1, "%s", "123456789A");
    EXPECT_FALSE(exists(log_path()));
    log_print(1, "%s", "123456789");
    EXPECT_EQ(log_texts(), "123456789");
    log_print(1, "%s", "next"); // the file has reached 10 bytes: rotated first
    EXPECT_EQ(log_texts(), "next");
    EXPECT_EQ(strip_prefixes(read(predecessor_path())), "123456789");
}

TEST_F(LogFile, FullFileMovesToTheSinglePredecessor)
{
    ASSERT_EQ(initialize(1, 150), KOVA_OK);
    // Each line takes 45 + 5 bytes: three fit below 150, the fourth starts a new file.
    for (int line = 1; line <= 7; ++line) log_print(1, "L%d\r\n", line);
    EXPECT_EQ(log_texts(), "L7\r\r\n");
    EXPECT_EQ(strip_prefixes(read(predecessor_path())), "L4\r\r\nL5\r\r\nL6\r\r\n");
    std::set<std::string> files;
    for (auto& entry : boost::filesystem::directory_iterator(folder_path()))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"kovavantorquadrelv3.log", "kovavantorquadrelv3_2.log"}));
}

TEST_F(LogFile, FileAboveTheLimitAtStartIsRotatedAtTheFirstLine)
{
    boost::filesystem::create_directories(folder_path());
    std::ofstream(log_path(), std::ios::binary) << std::string(500, 'o');
    std::ofstream(predecessor_path(), std::ios::binary) << "older";
    ASSERT_EQ(initialize(1, 400), KOVA_OK);
    log_print(1, "fresh\r\n");
    EXPECT_EQ(log_texts(), "fresh\r\r\n");
    EXPECT_EQ(read(predecessor_path()), std::string(500, 'o'));
}

TEST_F(LogFile, FailedTerminateClosesTheFileAndTheNextLineReopensIt)
{
    ASSERT_EQ(initialize(3), KOVA_OK);
    log_print(1, "one\r\n");
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    const std::string moved = log_path() + ".moved";
#if defined(_WIN32)
    // A successful terminate keeps the file open, and Windows refuses to move an open file.
    boost::system::error_code refused;
    boost::filesystem::rename(log_path(), moved, refused);
    EXPECT_TRUE(refused);
    log_print(1, "two\r\n");
    EXPECT_EQ(KovaTerminate(), KOVA_NOT_INITIALIZED);
    // Closed now: the file moves, and it holds every line so far.
    boost::filesystem::rename(log_path(), moved);
    EXPECT_NE(strip_prefixes(read(moved)).find("two"), std::string::npos);
#else
    // A successful terminate keeps the file open: a moved file goes on receiving lines.
    boost::filesystem::rename(log_path(), moved);
    log_print(1, "two\r\n");
    EXPECT_FALSE(exists(log_path()));
    EXPECT_NE(strip_prefixes(read(moved)).find("two"), std::string::npos);
    EXPECT_EQ(KovaTerminate(), KOVA_NOT_INITIALIZED);
#endif
    EXPECT_NE(strip_prefixes(read(moved)).find("terminate:    Error=9101: Not Initialized\r\r\n"), std::string::npos);
    log_print(1, "three\r\n");
    EXPECT_EQ(log_texts(), "three\r\r\n");
}

TEST_F(LogFile, ConcurrentWritersNeverInterleave)
{
    ASSERT_EQ(initialize(1), KOVA_OK);
    constexpr int threads = 4, lines = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < lines; ++i) log_print(1, "writer %d line %03d %s\r\n", t, i, "xxxxxxxxxxxxxxxx");
        });
    for (auto& writer : writers) writer.join();

    std::string bytes = log_bytes();
    constexpr std::size_t line_size = kova_test::line_prefix_size + 37;
    ASSERT_EQ(bytes.size(), threads * lines * line_size);
    std::set<std::string> seen;
    for (std::size_t at = 0; at < bytes.size(); at += line_size) {
        ASSERT_TRUE(kova_test::is_line_prefix(bytes, at)) << at;
        std::string text = bytes.substr(at + kova_test::line_prefix_size, 37);
        int writer = -1, line = -1;
        ASSERT_EQ(std::sscanf(text.c_str(), "writer %d line %d ", &writer, &line), 2) << text;
        char expected[64];
        std::snprintf(expected, sizeof expected, "writer %d line %03d %s\r\r\n", writer, line, "xxxxxxxxxxxxxxxx");
        ASSERT_EQ(text, expected);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(threads * lines));
}

TEST_F(LogFile, UnwritableFolderDropsLinesQuietly)
{
    boost::filesystem::create_directories(folder_ + "/Celdra");
    std::ofstream(folder_path()) << "a file where the folder should be";
    ASSERT_EQ(initialize(3), KOVA_OK);
    log_print(1, "lost\r\n");
    std::uint32_t handle = 0;
    EXPECT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);
}

// On Windows the folder is the system's ProgramData, far from the limit.
#if !defined(_WIN32)
TEST_F(LogFile, PathLongerThan255BytesDropsTheLine)
{
    std::string deep = folder_ + "/" + std::string(240, 'd');
    kova_test::set_program_data(deep);
    ASSERT_EQ(initialize(3), KOVA_OK);
    log_print(1, "lost\r\n");
    EXPECT_FALSE(boost::filesystem::exists(deep + "/Celdra/Nivora SDK/kovavantorquadrelv3.log"));
}
#endif
