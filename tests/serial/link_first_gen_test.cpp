// qlpinw32 with the first generation only, beside a complete SimQlp.
#include <string>
#include <vector>

#include "link_fixture.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(LinkTest, FirstGenerationReceivesTheExactArguments) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  EXPECT_EQ(0, link.Generation());
  EXPECT_EQ(Lines({"LNK_LireVersion"}), LogLines());
  ClearLog();
  EXPECT_EQ(0, Probe(link, 3, 2));
  EXPECT_EQ(Lines({"LNK_Init 15 4000 15 10000 1000", "LNK_Connect 1 3 2 1 8 0 0",
                   "LNK_Exchange 2 FF010601 4 65535 1 3 0 33792"}),
            LogLines());
}

TEST_F(LinkTest, FirstGenerationTakesTheStationAndTimesFromTheFile) {
  EditParamFile("Config=1000,15,15000",
                "Config=1,2,3\r\n[QLP]\r\nPAD_STATION=4\r\nTReponse=500\r\nTMax=77");
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  ClearLog();
  EXPECT_EQ(0, Probe(link, 5, 1));
  EXPECT_EQ(Lines({"LNK_Init 4 4000 2 10000 500", "LNK_Connect 1 5 1 1 8 0 0",
                   "LNK_Exchange 2 FF010601 4 77 1 5 0 33792"}),
            LogLines());
}

TEST_F(LinkTest, FirstGenerationExchangesStartWithTheFullResponseCapacity) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  ProbeCommand probe(link);
  link.SetPort(7);
  link.SetSpeed(1);
  ASSERT_EQ(0, link.Connect());
  ClearLog();
  ASSERT_EQ(0, probe.Send());
  EXPECT_LT(responseLength, kQlpBufferSize);
  ASSERT_EQ(0, probe.Send());
  EXPECT_EQ(Lines({"LNK_Exchange 2 FF010601 4 65535 1 7 0 33792",
                   "LNK_Exchange 2 FF010601 4 65535 1 7 0 33792"}),
            LogLines());
  EXPECT_NE(0, Probe(link, 3, 1));
}

TEST_F(LinkTest, SimulatorTypeTakesSimQlpWithoutTryingQlpinw32) {
  EditParamFile("Type=0", "Type=3");
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  // Only SimQlp here offers the second generation.
  EXPECT_EQ(1, link.Generation());
  EXPECT_EQ(Lines({"SimQlp.dll"}), loadedNames);
}

}  // namespace
