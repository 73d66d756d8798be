// qlpinw32 lacking LnkGetStatus and LNK_Status: no generation is complete. No SimQlp.
#include <string>
#include <vector>

#include "link_fixture.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(LinkTest, NoCompleteGenerationIsUnusableButStaysLoaded) {
  SerialReaderLink link(paramFile);
  EXPECT_EQ(LIBRARY_UNUSABLE, link.Status());
  EXPECT_EQ(0, link.Generation());
  EXPECT_NE(nullptr, libraryHandle);
  EXPECT_EQ(Lines({"qlpinw32.dll"}), loadedNames);
  // Resolution went on past the missing name; neither identification call was made.
  EXPECT_EQ(nullptr, entryPoints.lnk_Status);
  EXPECT_NE(nullptr, entryPoints.lnk_LireVersion);
  EXPECT_TRUE(LogLines().empty());
  // No fixed values: the records hold what the file gave.
  EXPECT_EQ(0, link.Framing().framingExtra);
  EXPECT_EQ(0, link.Protocol().padReader);
  EXPECT_EQ(1000, link.Protocol().configFirst);
}

TEST_F(LinkTest, MissingSimulatorIsUnusableAndQlpinw32IsNotTried) {
  EditParamFile("Type=0", "Type=1");
  SerialReaderLink link(paramFile);
  EXPECT_EQ(LIBRARY_UNUSABLE, link.Status());
  EXPECT_EQ(nullptr, libraryHandle);
  EXPECT_EQ(Lines({"SimQlp.dll"}), loadedNames);
}

}  // namespace
