// SPDX-License-Identifier: MIT
// The shared test fixture and the helpers that read the log.
#include "tests/support/environment.h"
#include "tests/support/support.h"

#include "interface/shared_manager.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"

#include <boost/filesystem.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define KOVA_PIPE(fds) _pipe(fds, 65536, _O_BINARY)
#define KOVA_DUP _dup
#define KOVA_DUP2 _dup2
#define KOVA_READ(fd, buffer, size) _read(fd, buffer, static_cast<unsigned>(size))
#define KOVA_CLOSE _close
#else
#include <unistd.h>
#define KOVA_PIPE(fds) pipe(fds)
#define KOVA_DUP dup
#define KOVA_DUP2 dup2
#define KOVA_READ(fd, buffer, size) read(fd, buffer, size)
#define KOVA_CLOSE close
#endif
#include <cctype>
#include <cstring>
#include <sstream>

namespace kova_test {

bool is_line_prefix(const std::string& bytes, std::size_t pos)
{
    if (bytes.size() < pos + line_prefix_size) return false;
    const char* p = bytes.data() + pos;
    auto one_of = [](const char* word, const char* list) {
        for (; *list; list += 3)
            if (std::strncmp(word, list, 3) == 0) return true;
        return false;
    };
    auto number = [&](std::size_t at, std::size_t digits, int low, int high) {
        int value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(p[at + i]))) return false;
            value = value * 10 + (p[at + i] - '0');
        }
        return value >= low && value <= high;
    };
    if (!one_of(p, "SunMonTueWedThuFriSat") || !one_of(p + 4, "JanFebMarAprMayJunJulAugSepOctNovDec")) return false;
    if (p[3] != ' ' || p[7] != ' ' || p[10] != ' ' || p[13] != ':' || p[16] != ':' || p[19] != '.') return false;
    if (!number(8, 2, 1, 31) || !number(11, 2, 0, 23) || !number(14, 2, 0, 59) || !number(17, 2, 0, 59) ||
        !number(20, 3, 0, 999))
        return false;
    if (std::strncmp(p + 23, " Thd ", 5) != 0 || p[44] != ' ') return false;
    // The thread id: blanks, then at least one digit, the first not 0.
    std::size_t first_digit = 28;
    while (first_digit < 44 && p[first_digit] == ' ') ++first_digit;
    return first_digit < 44 && p[first_digit] != '0' && number(first_digit, 44 - first_digit, 1, 0x7fffffff);
}

std::string strip_prefixes(const std::string& log)
{
    std::string texts;
    for (std::size_t i = 0; i < log.size();) {
        if (is_line_prefix(log, i)) {
            i += line_prefix_size;
            continue;
        }
        texts += log[i++];
    }
    return texts;
}

void set_program_data(const std::string& folder)
{
    set_environment("PROGRAMDATA", folder);
}

void KovaTest::SetUp()
{
#if defined(_WIN32)
    // The log folder is the system's ProgramData, shared by every test (they run one at a time):
    // each starts without one.
    folder_ = nvr::vantorquadrelv3::get_program_data_folder();
    ASSERT_FALSE(folder_.empty());
#else
    boost::filesystem::path folder =
        boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("kova-test-%%%%-%%%%-%%%%");
    boost::filesystem::create_directories(folder);
    folder_ = folder.string();
    set_program_data(folder_);
#endif
    // Start from a closed log file, a quiet manager and a stand-in with only the default scanner,
    // also when all tests run in one process.
    auto manager = nvr::vantorquadrelv3::get_shared_manager();
    manager->log_level = 0;
    KovaTerminate();
    KovaTerminate();
    remove_log_folder();
    manager->max_log_size = 0;
    for (auto* flag : {&manager->event_pending, &manager->device_unplugged, &manager->device_asleep,
                       &manager->scanner_broken, &manager->capture_failed})
        flag->store(false);
    manager->ui_state.fill(0);
    manager->capture_callback.store(nullptr, nullptr);
    manager->ui_callback.store(nullptr, nullptr);
    vqsim_reset();
    vqsim_add_sensor(default_sensor, default_serial);
}

void KovaTest::TearDown()
{
    KovaUnRegisterQuadV3CaptureCallback();
    KovaTerminate();
    KovaTerminate();
    vqsim_reset();
    remove_log_folder();
#if !defined(_WIN32)
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder_, ignored);
#endif
}

void KovaTest::remove_log_folder() const
{
    // Fails quietly for a file the library still holds open on Windows; the next test's process
    // starts with it closed.
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder_ + "/Celdra", ignored);
}

std::string KovaTest::log_path() const
{
    return folder_ + "/Celdra/Nivora SDK/kovavantorquadrelv3.log";
}

std::string KovaTest::predecessor_path() const
{
    return folder_ + "/Celdra/Nivora SDK/kovavantorquadrelv3_2.log";
}

std::string KovaTest::log_bytes() const
{
    std::ifstream file(log_path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::uint32_t KovaTest::open_default()
{
    EXPECT_EQ(initialize(), KOVA_OK);
    std::uint32_t handle = 0;
    EXPECT_EQ(KovaOpenDevice(default_sensor, &handle), KOVA_OK);
    EXPECT_NE(handle, 0u);
    return handle;
}

struct StderrCapture::Reader {
    int fd;
    std::string bytes;
    std::thread thread;
};

StderrCapture::StderrCapture()
{
    int fds[2];
    std::fflush(stderr);
    if (KOVA_PIPE(fds) != 0) {
        ADD_FAILURE() << "no pipe for standard error";
        return;
    }
    saved_ = KOVA_DUP(2);
    KOVA_DUP2(fds[1], 2);
    KOVA_CLOSE(fds[1]);
    reader_ = new Reader{fds[0], {}, {}};
    reader_->thread = std::thread([reader = reader_] {
        char buffer[4096];
        for (;;) {
            const auto count = KOVA_READ(reader->fd, buffer, sizeof buffer);
            if (count <= 0) break;
            reader->bytes.append(buffer, static_cast<std::size_t>(count));
        }
    });
}

StderrCapture::~StderrCapture()
{
    text();
}

std::string StderrCapture::text()
{
    if (reader_ != nullptr) {
        // Standard error back on its own file: the pipe's last writer goes, and the reader sees its end.
        std::fflush(stderr);
        KOVA_DUP2(saved_, 2);
        KOVA_CLOSE(saved_);
        reader_->thread.join();
        KOVA_CLOSE(reader_->fd);
        captured_ = std::move(reader_->bytes);
        delete reader_;
        reader_ = nullptr;
    }
    return captured_;
}

} // namespace kova_test
