// The host's query and load, as the script extender makes them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "harness/LogCapture.h"
#include "sim/LinkedPlugin.h"

using testing::ElementsAre;

namespace {

void ExpectInfoFilled(const PluginInfo& info) {
  EXPECT_EQ(info.infoVersion, 1u);
  ASSERT_NE(info.name, nullptr);
  EXPECT_STREQ(info.name, "skse_quiverleaf");
  EXPECT_EQ(info.version, 3u);
}

TEST(PluginQuery, AcceptsRuntime1_8_151_0WithTheUiInterface) {
  LogCapture log;
  sim::SimHost host(sim::LinkedPlugin());
  EXPECT_TRUE(host.Query());
  ExpectInfoFilled(host.Info());
  EXPECT_THAT(host.Events(), ElementsAre("GetPluginHandle", "QueryInterface 1"));
  EXPECT_EQ(PluginHandle(), sim::SimHost::kPluginHandle);
  EXPECT_EQ(log.Text(), "SKSEPlugin_Query start\r\nSKSEPlugin_Query done\r\n");
}

TEST(PluginQuery, RefusesAnotherRuntimeBeforeLookingAtTheEditorFlag) {
  LogCapture log;
  sim::SimHost host(sim::LinkedPlugin());
  host.runtimeVersion = 0x09000000;
  host.isEditor = 1;
  EXPECT_FALSE(host.Query());
  ExpectInfoFilled(host.Info());
  EXPECT_THAT(host.Events(), ElementsAre("GetPluginHandle"));
  EXPECT_EQ(log.Text(),
            "SKSEPlugin_Query start\r\n"
            "Quiverleaf_extensions compatible with only Skyrim 1.8.151.0\r\n");
}

TEST(PluginQuery, RefusesTheEditor) {
  LogCapture log;
  sim::SimHost host(sim::LinkedPlugin());
  host.isEditor = 1;
  EXPECT_FALSE(host.Query());
  ExpectInfoFilled(host.Info());
  EXPECT_THAT(host.Events(), ElementsAre("GetPluginHandle"));
  EXPECT_EQ(log.Text(), "SKSEPlugin_Query start\r\nLoaded in editor, marking as incompatible\r\n");
}

TEST(PluginQuery, RefusesAHostWithoutUiInterface) {
  LogCapture log;
  sim::SimHost host(sim::LinkedPlugin());
  host.offerUiInterface = false;
  EXPECT_FALSE(host.Query());
  ExpectInfoFilled(host.Info());
  EXPECT_THAT(host.Events(), ElementsAre("GetPluginHandle", "QueryInterface 1"));
  EXPECT_EQ(log.Text(), "SKSEPlugin_Query start\r\nCouldn't get scaleform interface\r\n");
}

TEST(PluginQuery, RefusesUiInterfaceVersion0) {
  LogCapture log;
  sim::SimHost host(sim::LinkedPlugin());
  host.uiInterfaceVersion = 0;
  EXPECT_FALSE(host.Query());
  ExpectInfoFilled(host.Info());
  EXPECT_EQ(log.Text(),
            "SKSEPlugin_Query start\r\nScaleform interface is too old (0 expected 1)\r\n");
}

TEST(PluginQuery, ComparesTheUiInterfaceVersionUnsigned) {
  for (std::uint32_t version : {1u, 2u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    sim::SimHost host(sim::LinkedPlugin());
    host.uiInterfaceVersion = version;
    EXPECT_TRUE(host.Query()) << std::hex << version;
  }
}

TEST(PluginQuery, EchoesItsLinesOnStandardOutput) {
  sim::SimHost host(sim::LinkedPlugin());
  host.isEditor = 1;
  testing::internal::CaptureStdout();
  host.Query();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SKSEPlugin_Query start\nLoaded in editor, marking as incompatible\n");
}

TEST(PluginQuery, NamesItselfWithTextThatLivesAsLongAsTheLibrary) {
  const char* name = nullptr;
  {
    sim::SimHost host(sim::LinkedPlugin());
    host.Query();
    name = host.Info().name;
  }
  sim::SimHost again(sim::LinkedPlugin());
  again.Query();
  EXPECT_EQ(again.Info().name, name);  // one static text, not a per-call copy
  EXPECT_STREQ(name, "skse_quiverleaf");
}

TEST(PluginLoad, RegistersTheCallbackUnderQuiverleaf) {
  LogCapture log;
  sim::SimHost host(sim::LinkedPlugin());
  ASSERT_TRUE(host.Query());
  EXPECT_TRUE(host.Load());
  ASSERT_EQ(host.Registrations().size(), 1u);
  EXPECT_EQ(host.Registrations()[0].namespaceName, "quiverleaf");
  EXPECT_EQ(host.Registrations()[0].callback, &RegisterScaleform);
  EXPECT_EQ(log.Text(),
            "SKSEPlugin_Query start\r\nSKSEPlugin_Query done\r\n"
            "SKSEPlugin_Load start\r\nSKSEPlugin_Load done\r\n");
}

TEST(PluginLoad, SucceedsWhateverTheRegistrationAnswers) {
  sim::SimHost host(sim::LinkedPlugin());
  host.registrationResult = false;
  ASSERT_TRUE(host.Query());
  EXPECT_TRUE(host.Load());
  EXPECT_EQ(host.Registrations().size(), 1u);
}

}  // namespace
