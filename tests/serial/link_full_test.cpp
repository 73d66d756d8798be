// The stand-in with both generations complete (qlpinw32 and SimQlp beside the program).
#include <functional>
#include <string>
#include <vector>

#include "link_fixture.h"

namespace {

using platform::FindEntryPoint;
using Lines = std::vector<std::string>;

TEST_F(LinkTest, CompleteSecondGenerationWinsAndFixedValuesReplaceTheFile) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  EXPECT_EQ(1, link.Generation());
  EXPECT_EQ(Lines({"qlpinw32.dll"}), loadedNames);
  EXPECT_NE(nullptr, libraryHandle);
  EXPECT_EQ(Lines({"LnkIdentify"}), LogLines());

  const SerialFraming& framing = link.Framing();
  EXPECT_EQ(1, framing.speedMultiplier);
  EXPECT_EQ(1, framing.framingExtra);
  EXPECT_EQ(8, framing.dataBits);
  EXPECT_EQ(0, framing.parity);
  EXPECT_EQ(0, framing.stop);
  EXPECT_EQ(4000, link.Protocol().configFirst);
  EXPECT_EQ(10000, link.Protocol().configThird);
  EXPECT_EQ(2, link.Protocol().padReader);
  EXPECT_EQ(15, configMiddle);
  EXPECT_EQ(15, padStation);

  // The file keeps what the read-back wrote.
  const std::string content = testing_support::ReadFile(paramFile.Path());
  EXPECT_NE(std::string::npos, content.find("PAD_LECTEUR=0\r\n"));
  EXPECT_NE(std::string::npos, content.find("Config=1000,15,15000\r\n"));
}

TEST_F(LinkTest, SecondGenerationReceivesTheExactArguments) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  ClearLog();
  EXPECT_EQ(0, Probe(link, 3, 2));
  const std::string path = paramFile.Path();
  EXPECT_EQ(Lines({"LnkInit 0 " + path + " 0", "LnkConnect 1 3 19200,1,8,0,0",
                   "LnkExchange 1 3 2 65535 FF010601 4 33792"}),
            LogLines());

  ClearLog();
  EXPECT_EQ(0, Probe(link, 7, 1));
  EXPECT_EQ(Lines({"LnkInit 0 " + path + " 0", "LnkConnect 1 7 9600,1,8,0,0",
                   "LnkExchange 1 7 2 65535 FF010601 4 33792"}),
            LogLines());
}

TEST_F(LinkTest, OnlyAListedReaderAtAListedSpeedAnswers) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  EXPECT_EQ(0, Probe(link, 3, 2));
  EXPECT_NE(0, Probe(link, 3, 1));
  EXPECT_NE(0, Probe(link, 5, 2));
  EXPECT_EQ(0, Probe(link, 5, 1));
  EXPECT_NE(0, Probe(link, 4, 2));
  EXPECT_NE(0, Probe(link, 4, 1));
  EXPECT_EQ(0, Probe(link, 7, 2));
  EXPECT_EQ(0, Probe(link, 7, 1));

  // A connected reader answers the probe only.
  link.SetPort(7);
  link.SetSpeed(2);
  ASSERT_EQ(0, link.Connect());
  commandBuffer[0] = 0xFF;
  commandBuffer[1] = 0x02;
  commandLength = 2;
  EXPECT_NE(0, link.Exchange());
}

// Each call is made to a library initialised and connected to COM3 at 19200 in its
// generation; a simulated reader refuses it and says why. The last two show that a failed
// initialisation does not leave the library initialised.
TEST_F(LinkTest, TheStandInRefusesAMalformedConversation) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  const auto init1 = reinterpret_cast<LNK_InitFn>(FindEntryPoint(libraryHandle, "LNK_Init"));
  const auto connect1 =
      reinterpret_cast<LNK_ConnectFn>(FindEntryPoint(libraryHandle, "LNK_Connect"));
  const std::string path = paramFile.Path(), otherName = folder + "/QLP.INI";
  testing_support::WriteFile(otherName, "[SERIE]\r\n");
  unsigned char probe[] = {0xFF, 0x01, 0x06, 0x01}, answer[256];
  uint32_t capacity = 0;
  const auto exchange = [&](uint8_t pad, uint16_t time, uint32_t room) {
    capacity = room;
    return entryPoints.lnkExchange(1, 3, pad, time, probe, 4, answer, &capacity);
  };
  const std::pair<int, std::function<uint16_t()>> calls[] = {
      {2, [&] { return entryPoints.lnkInit(0, path.c_str(), 7); }},
      {2, [&] { return entryPoints.lnkInit(0, otherName.c_str(), 0); }},
      {2, [&] { return entryPoints.lnkConnect(1, 3, "19200,0,5,9,9"); }},
      {2, [&] { return entryPoints.lnkConnect(1, 3, "9600,1,8,0,0"); }},
      {2, [&] { return exchange(2, 65535, 2); }},
      {2, [&] { return exchange(0, 65535, 33792); }},
      {2, [&] { return exchange(2, 0, 33792); }},
      {1, [&] { return connect1(1, 3, SerialFraming{2, 0, 0, 0, 0}); }},
      {2, [&] { return entryPoints.lnkInit(0, path.c_str(), 7), link.Exchange(); }},
      {1, [&] { return init1(0, 0, 0, 0, 0), connect1(1, 3, SerialFraming{2, 1, 8, 0, 0}); }},
  };
  for (const auto& call : calls) {
    SCOPED_TRACE(&call - calls);
    link.SetSpeed(2);
    link.SetPort(3);
    ASSERT_EQ(0, call.first == 2 ? link.Connect()
                                 : (init1(15, 4000, 15, 10000, 1000),
                                    connect1(1, 3, SerialFraming{2, 1, 8, 0, 0})));
    ClearLog();
    EXPECT_NE(0, call.second());
    EXPECT_EQ(0u, LogLines().back().rfind("  status ", 0)) << LogLines().back();
  }
}

TEST_F(LinkTest, GarbledReaderListSimulatesNoReader) {
  const char* const lists[] = {"garbage", "3@", "@19200", "3@19200x", "3@19200/", ",,,", "3:19200"};
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  for (const char* list : lists) {
    SCOPED_TRACE(list);
    testing_support::ScopedEnv readers("QLP_SIM_READERS", list);
    EXPECT_NE(0, Probe(link, 3, 2));
  }
}

TEST_F(LinkTest, EveryExchangeStartsWithTheFullResponseCapacity) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  ProbeCommand probe(link);
  link.SetPort(3);
  link.SetSpeed(2);
  ASSERT_EQ(0, link.Connect());
  ClearLog();
  ASSERT_EQ(0, probe.Send());
  EXPECT_LT(responseLength, kQlpBufferSize);  // the answer's length came back
  ASSERT_EQ(0, probe.Send());
  EXPECT_EQ(Lines({"LnkExchange 1 3 2 65535 FF010601 4 33792",
                   "LnkExchange 1 3 2 65535 FF010601 4 33792"}),
            LogLines());
}

TEST_F(LinkTest, SpeedAndPortKeepTheirLow8Bits) {
  SerialReaderLink link(paramFile);
  link.SetSpeed(258);
  EXPECT_EQ(2, link.Framing().speedMultiplier);
  link.SetSpeed(1);
  EXPECT_EQ(1, link.Framing().speedMultiplier);
  // COM260 becomes port 4: the driver never hands over a port above 255.
  link.SetPort(260);
  EXPECT_EQ(4, comPort);
}

TEST_F(LinkTest, SimulatorTypeLoadsSimQlpOnly) {
  EditParamFile("Type=0", "Type=1");
  SerialReaderLink link(paramFile);
  EXPECT_EQ(0, link.Status());
  EXPECT_EQ(1, simulatorType);
  EXPECT_EQ(Lines({"SimQlp.dll"}), loadedNames);
}

TEST_F(LinkTest, ParameterFileStatusStopsConstruction) {
  EditParamFile("Vitesse=9600", "Vitesse=28800");
  SerialReaderLink link(paramFile);
  EXPECT_EQ(PARAM_BAD_SPEED, link.Status());
  EXPECT_TRUE(loadedNames.empty());
  EXPECT_EQ(nullptr, libraryHandle);
  EXPECT_EQ(0, link.Generation());
  // The records keep what the read-back left; no fixed values.
  EXPECT_EQ(3, link.Framing().speedMultiplier);
  EXPECT_EQ(0, link.Framing().framingExtra);
  EXPECT_EQ(0, link.Framing().dataBits);
  EXPECT_EQ(0, link.Protocol().padReader);
}

}  // namespace
