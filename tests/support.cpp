#include "tests/support.h"

#include <boost/filesystem.hpp>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace kova_test {

std::string strip_prefixes(const std::string& log)
{
    static const std::regex prefix(R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d\.\d{3} Thd [ 0-9]{16} )");
    return std::regex_replace(log, prefix, "");
}

void KovaTest::SetUp()
{
    boost::filesystem::path folder =
        boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("kova-test-%%%%-%%%%-%%%%");
    boost::filesystem::create_directories(folder);
    folder_ = folder.string();
    ::setenv("PROGRAMDATA", folder_.c_str(), 1);
    // Start from a closed log file and a stand-in with only the default scanner.
    KovaTerminate();
    KovaTerminate();
    vqsim_reset();
    vqsim_add_sensor(default_sensor, default_serial);
}

void KovaTest::TearDown()
{
    KovaUnRegisterQuadV3CaptureCallback();
    KovaTerminate();
    KovaTerminate();
    vqsim_reset();
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder_, ignored);
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

} // namespace kova_test
