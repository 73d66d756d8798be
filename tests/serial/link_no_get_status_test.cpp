// qlpinw32 whose second generation lacks LnkGetStatus; the first is complete.
#include <string>
#include <vector>

#include "link_fixture.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(LinkTest, SecondGenerationShortOfOneNameFallsBackToTheFirstAsAWhole) {
  SerialReaderLink link(paramFile);
  ASSERT_EQ(0, link.Status());
  EXPECT_EQ(0, link.Generation());
  EXPECT_EQ(Lines({"qlpinw32.dll"}), loadedNames);
  EXPECT_EQ(Lines({"LNK_LireVersion"}), LogLines());
  // Every second-generation name was looked up all the same.
  EXPECT_NE(nullptr, entryPoints.lnkExchange);
  EXPECT_EQ(nullptr, entryPoints.lnkGetStatus);

  ClearLog();
  EXPECT_EQ(0, Probe(link, 3, 2));
  EXPECT_EQ(Lines({"LNK_Init 15 4000 15 10000 1000", "LNK_Connect 1 3 2 1 8 0 0",
                   "LNK_Exchange 2 FF010601 4 65535 1 3 0 33792"}),
            LogLines());
}

}  // namespace
