// SPDX-License-Identifier: MIT
// Status texts, the device-library mapping, and the functions that answer without a device.
#include <cstring>
#include <thread>
#include <vector>

#include "interface/shared_manager.h"
#include "interface/status.h"
#include "tests/support/support.h"

using namespace nvr::vantorquadrelv3;
using Celdra::TFTManager::TFT_Status;

TEST(StatusTexts, EveryTextIsFifteenCharactersInItsCodeSlot)
{
    const std::pair<KovaStatus, const char*> expected[] = {
        {9000, "Internal KOVA  "}, {9001, "Out of Resource"}, {9004, "Bus Reset      "},
        {9005, "Device Unavail "}, {9010, "Async Read     "}, {9018, "XCTRL Abort    "},
        {9100, "User Error     "}, {9101, "Not Initialized"}, {9103, "Buf Too Small  "},
        {9109, "Bad Parameter  "}, {9110, "Device Unavail "}, {9111, "Canceled       "}};
    for (const auto& [code, text] : expected) {
        EXPECT_STREQ(kova_status_text(code), text) << code;
    }
    for (KovaStatus code = 9000; code <= 9111; ++code) {
        const char* text = kova_status_text(code);
        bool has_text = code <= 9018 || code >= 9100;
        ASSERT_EQ(text != nullptr, has_text) << code;
        if (text) {
            EXPECT_EQ(std::strlen(text), 15u) << code;
        }
    }
    EXPECT_EQ(kova_status_text(0), nullptr);
    EXPECT_EQ(kova_status_text(8999), nullptr);
    EXPECT_EQ(kova_status_text(9112), nullptr);
}

TEST(StatusTexts, ErrorLineTextOfBadParameterIsTheFormattedCode)
{
    ErrorText bad(KOVA_BAD_PARAMETER);
    EXPECT_STREQ(bad.text, "Error 9109");
    ErrorText lock(KOVA_INTERNAL);
    EXPECT_STREQ(lock.text, "Internal KOVA  ");
}

TEST(StatusMapping, DeviceLibraryStatusesMapToTheirCodes)
{
    const KovaStatus expected[21] = {0,    9000, 9021, 9005, 9025, 9109, 9001, 9110, 9005, 9000, 9019,
                                     9010, 9000, 9000, 9000, 9000, 9023, 9101, 9020, 9021, 9000};
    for (int value = 0; value <= 20; ++value)
        EXPECT_EQ(map_tft_status(static_cast<TFT_Status>(value)), expected[value]) << value;
    for (std::int32_t outside : {21, 22, 1000, -1, -20, static_cast<std::int32_t>(0x80000000u)})
        EXPECT_EQ(map_tft_status(static_cast<TFT_Status>(outside)), 9000u) << outside;
}

class AnswerWithoutDevice : public kova_test::KovaTest {};

TEST_F(AnswerWithoutDevice, DoNothingFunctionsSucceedInEveryStateAndStartNothing)
{
    using Function = KovaStatus (*)(...);
    const Function functions[] = {KovaBusReset,  KovaGetBufSize,     KovaGetImage,
                                  KovaGetMemory, KovaGetVerInfo_N,   KovaGetVersion_N,
                                  KovaGetVideoBandPosition,          KovaGetVideoResult,
                                  KovaInitialization,                KovaInitializationVquad,
                                  KovaInitialize, KovaVantorCalibrateScanner, KovaVantorDeviceConnected,
                                  KovaVantorGetDetectedFingersBox,   KovaVantorGetFFDParameters,
                                  KovaVantorGetFinalImage,           KovaVantorSetFFDParameters,
                                  KovaPutBitmap, KovaPutCommand,     KovaPutImage,
                                  KovaPutMemory, KovaSetTimeouts,    KovaSetTimeouts_N,
                                  KovaSetVideoBandParams,            KovaStartVideo,
                                  KovaSubmitVideoRequest};
    ASSERT_EQ(std::size(functions), 26u);
    auto call_all = [&] {
        for (Function f : functions) EXPECT_EQ(f(7, nullptr, "x", 3.5), KOVA_OK);
        KovaBreakEnable(1, 2);
    };
    call_all();
    EXPECT_EQ(KovaGetVersion(), KOVA_NOT_INITIALIZED); // KovaInitialize initialised nothing
    std::uint32_t handle = open_default();
    call_all();
    EXPECT_EQ(vqsim_call_count("start_asynchronous_capture"), 0u);
    EXPECT_EQ(vqsim_call_count("usbReboot"), 0u);
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
    EXPECT_EQ(KovaTerminate(), KOVA_OK);
    call_all();
}

TEST_F(AnswerWithoutDevice, VersionAnswersFollowTheInitialisedState)
{
    for (auto query : {&KovaGetVersion, &KovaGetVerInfo, &KovaVantorQuadrelReadFilters}) {
        EXPECT_EQ(query(), KOVA_NOT_INITIALIZED);
    }
    ASSERT_EQ(initialize(), KOVA_OK);
    for (auto query : {&KovaGetVersion, &KovaGetVerInfo, &KovaVantorQuadrelReadFilters}) EXPECT_EQ(query(), KOVA_OK);
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    for (auto query : {&KovaGetVersion, &KovaGetVerInfo, &KovaVantorQuadrelReadFilters})
        EXPECT_EQ(query(), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(log_texts().find("Error"), std::string::npos) << "the inline answers write no line";
}

TEST(SharedManager, ConcurrentFirstCallsSeeOneManager)
{
    std::vector<std::shared_ptr<vantorquadrelv3_manager>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = get_shared_manager(); });
    for (auto& thread : threads) thread.join();
    for (auto& manager : seen) EXPECT_EQ(manager.get(), seen[0].get());
    EXPECT_NE(seen[0], nullptr);
}
