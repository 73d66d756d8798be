// PC/SC reader listing against a fake service library handed out by a fake loader.
#include "discovery/pcsc_reader_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::PcscContext;
using platform::PcscDword;
using platform::PcscLong;

const PcscLong kNoService = static_cast<PcscLong>(0x8010001DUL);  // SCARD_E_NO_SERVICE

struct FakeLibrary {
  // What the fake answers.
  bool present = true;
  std::vector<std::string> missingEntries;
  PcscLong establishResult = 0;
  PcscContext establishHandle = 0x51;
  PcscLong sizingResult = 0;
  std::string text;            // the multi-string, terminators included
  PcscDword sizingLength = 0;  // 0: text.size()
  PcscLong listResult = 0;
  PcscDword storedLength = 0;  // 0: the number of bytes stored

  // What the fake saw.
  std::vector<std::string> loaded;
  std::vector<std::string> looked;
  std::vector<PcscDword> scopes;
  int establishCalls = 0;
  std::vector<PcscContext> released;
  std::vector<PcscContext> listContexts;
  std::vector<bool> listWithBuffer;
  std::vector<PcscDword> listLengthsIn;
  int groupsGiven = 0;
  int statusChangeCalls = 0;
};

FakeLibrary* fake = nullptr;
int fakeModule;

PcscLong FakeEstablish(PcscDword scope, const void* r1, const void* r2, PcscContext* context) {
  ++fake->establishCalls;
  fake->scopes.push_back(scope);
  EXPECT_EQ(nullptr, r1);
  EXPECT_EQ(nullptr, r2);
  *context = fake->establishHandle;
  return fake->establishResult;
}

PcscLong FakeRelease(PcscContext context) {
  fake->released.push_back(context);
  return 0;
}

PcscLong FakeListReaders(PcscContext context, const char* groups, char* readers,
                         PcscDword* length) {
  fake->listContexts.push_back(context);
  fake->listWithBuffer.push_back(readers != nullptr);
  fake->listLengthsIn.push_back(*length);
  if (groups != nullptr) ++fake->groupsGiven;
  if (readers == nullptr) {
    *length = fake->sizingLength != 0 ? fake->sizingLength : fake->text.size();
    return fake->sizingResult;
  }
  if (fake->listResult != 0) return fake->listResult;
  const size_t stored = std::min<size_t>(fake->text.size(), *length);
  std::memcpy(readers, fake->text.data(), stored);
  *length = fake->storedLength != 0 ? fake->storedLength : stored;
  return 0;
}

PcscLong FakeGetStatusChange(PcscContext, PcscDword, void*, PcscDword) {
  ++fake->statusChangeCalls;
  return 0;
}

platform::ModuleHandle FakeLoad(const char* fileName) {
  fake->loaded.push_back(fileName);
  return fake->present ? &fakeModule : nullptr;
}

// The service library is a system library: it must never be looked up beside the program.
platform::ModuleHandle WrongLoad(const char* fileName) {
  ADD_FAILURE() << fileName << " loaded as a library of the program";
  return nullptr;
}

void FakeWhyNotLoaded(const char*, char* out, size_t size) {
  if (size > 0) out[0] = '\0';
}

platform::EntryPoint FakeEntryPoint(platform::ModuleHandle module, const char* name) {
  EXPECT_EQ(&fakeModule, module);
  fake->looked.push_back(name);
  const std::vector<std::string>& missing = fake->missingEntries;
  if (std::find(missing.begin(), missing.end(), name) != missing.end()) return nullptr;
  const std::string entry(name);
  if (entry == platform::kPcscEstablishContextName) {
    return reinterpret_cast<platform::EntryPoint>(FakeEstablish);
  }
  if (entry == platform::kPcscReleaseContextName) {
    return reinterpret_cast<platform::EntryPoint>(FakeRelease);
  }
  if (entry == platform::kPcscListReadersName) {
    return reinterpret_cast<platform::EntryPoint>(FakeListReaders);
  }
  if (entry == platform::kPcscGetStatusChangeName) {
    return reinterpret_cast<platform::EntryPoint>(FakeGetStatusChange);
  }
  return nullptr;
}

const std::string kTwoReaders("Reader A\0Reader B\0\0", 19);

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The names of the four entry points, sorted.
std::vector<std::string> AllFour() {
  return Sorted({platform::kPcscEstablishContextName, platform::kPcscReleaseContextName,
                 platform::kPcscListReadersName, platform::kPcscGetStatusChangeName});
}

class PcscReaderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::moduleApi;
    fake = &library_;
    platform::moduleApi = {WrongLoad, FakeLoad, FakeEntryPoint, FakeWhyNotLoaded};
  }
  void TearDown() override {
    EXPECT_EQ(0, library_.statusChangeCalls);
    platform::moduleApi = saved_;
    fake = nullptr;
  }
  FakeLibrary library_;
  platform::ModuleApi saved_;
};

TEST_F(PcscReaderListTest, TwoReadersInTheServiceOrder) {
  library_.text = kTwoReaders;
  PcscReaderList list;
  ASSERT_EQ(2, list.GetCount());
  EXPECT_STREQ("Reader A", list.GetName(0));
  EXPECT_STREQ("Reader B", list.GetName(1));
  EXPECT_EQ(list.GetName(0) + 9, list.GetName(1));  // both inside the one buffer
  EXPECT_EQ(nullptr, list.GetName(2));
  EXPECT_EQ(nullptr, list.GetName(-1));

  EXPECT_EQ(std::vector<std::string>{platform::kPcscLibraryName}, library_.loaded);
  EXPECT_EQ(AllFour(), Sorted(library_.looked));
  EXPECT_EQ(std::vector<PcscDword>{platform::kPcscScopeUser}, library_.scopes);
  // Sizing call with no buffer from a zero length, then the buffer and the length it gave.
  EXPECT_EQ((std::vector<bool>{false, true}), library_.listWithBuffer);
  EXPECT_EQ((std::vector<PcscDword>{0, 19}), library_.listLengthsIn);
  EXPECT_EQ((std::vector<PcscContext>{0x51, 0x51}), library_.listContexts);
  EXPECT_EQ(0, library_.groupsGiven);
  EXPECT_TRUE(library_.released.empty()) << "a listed context stays open";
}

TEST_F(PcscReaderListTest, OneReaderIsTheTextUpToTheFirstNul) {
  library_.text = std::string("Lecteur \xE9 1\0\0", 13);
  PcscReaderList list;
  ASSERT_EQ(1, list.GetCount());
  EXPECT_STREQ("Lecteur \xE9 1", list.GetName(0));
  EXPECT_EQ(nullptr, list.GetName(1));
  EXPECT_TRUE(library_.released.empty());
}

TEST_F(PcscReaderListTest, ListingWithTerminatorsOnlyHoldsNoReader) {
  library_.text = std::string("\0\0", 2);
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_EQ(nullptr, list.GetName(0));
  EXPECT_TRUE(library_.released.empty()) << "the listing itself succeeded";
}

TEST_F(PcscReaderListTest, LengthReportedBeyondTheBufferIsNeverWalked) {
  // The service stores 8 bytes and no terminator, then claims a far longer text.
  library_.text = "Reader A";
  library_.storedLength = 4000;
  PcscReaderList list;
  ASSERT_EQ(1, list.GetCount());
  EXPECT_STREQ("Reader A", list.GetName(0));
}

TEST_F(PcscReaderListTest, NoReaderReleasesTheContext) {
  library_.sizingResult = platform::kPcscNoReadersAvailable;
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_EQ((std::vector<bool>{false}), library_.listWithBuffer);
  EXPECT_EQ(std::vector<PcscContext>{0x51}, library_.released);
}

TEST_F(PcscReaderListTest, ReaderGoneBeforeTheSecondCallCountsAsNoReader) {
  library_.text = kTwoReaders;
  library_.listResult = platform::kPcscReaderUnavailable;
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_EQ(std::vector<PcscContext>{0x51}, library_.released);
}

TEST_F(PcscReaderListTest, ReaderAddedBetweenTheTwoCallsFailsTheWholeListing) {
  library_.text = kTwoReaders;
  library_.listResult = platform::kPcscInsufficientBuffer;
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_EQ(nullptr, list.GetName(0));
  EXPECT_EQ(std::vector<PcscContext>{0x51}, library_.released);
}

TEST_F(PcscReaderListTest, SizingFailureShowsInTheSecondCall) {
  library_.sizingResult = kNoService;
  library_.listResult = kNoService;
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_EQ((std::vector<bool>{false, true}), library_.listWithBuffer);
  EXPECT_EQ(std::vector<PcscContext>{0x51}, library_.released);
}

TEST_F(PcscReaderListTest, ContextFailureReleasesTheHandleTheCallLeft) {
  library_.establishResult = kNoService;
  library_.establishHandle = 0x77;
  library_.text = kTwoReaders;
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_TRUE(library_.listWithBuffer.empty());
  EXPECT_EQ(std::vector<PcscContext>{0x77}, library_.released);
}

TEST_F(PcscReaderListTest, MissingLibraryMakesNoReleaseCall) {
  library_.present = false;
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_TRUE(library_.looked.empty());
  EXPECT_TRUE(library_.released.empty());
  EXPECT_EQ(0, library_.establishCalls);
}

// Each of the four is required, the one never called included.
TEST_F(PcscReaderListTest, AnyMissingEntryPointLeavesTheListEmptyWithoutAContext) {
  for (const std::string& missing : AllFour()) {
    SCOPED_TRACE(missing);
    library_ = FakeLibrary();
    library_.text = kTwoReaders;
    library_.missingEntries = {missing};
    PcscReaderList list;
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(0, library_.establishCalls);
    EXPECT_TRUE(library_.listContexts.empty());
    // A release, when made, has no context to release.
    for (PcscContext released : library_.released) EXPECT_EQ(0, released);
  }
}

TEST(MultiString, CountStrings) {
  const std::string two = kTwoReaders;
  EXPECT_EQ(0, CountStrings(two.data(), 0));
  EXPECT_EQ(2, CountStrings(two.data(), 19));
  EXPECT_EQ(1, CountStrings("A\0\0B\0\0", 6));  // stops at the double NUL
  EXPECT_EQ(1, CountStrings("\0\0", 2));        // the walk sees one empty name
  EXPECT_EQ(0, CountStrings("AB", 2));          // no terminator within the length
  EXPECT_EQ(1, CountStrings("A\0B", 2));        // the length bounds the walk
}

TEST(MultiString, NthString) {
  const char* text = kTwoReaders.data();
  EXPECT_EQ(nullptr, NthString(text, 0, 0));
  EXPECT_EQ(text, NthString(text, 19, 0));
  EXPECT_EQ(text + 9, NthString(text, 19, 1));
  EXPECT_EQ(nullptr, NthString(text, 19, 2));
  EXPECT_EQ(nullptr, NthString(text, 19, 7));
  EXPECT_EQ(nullptr, NthString("A\0\0B\0\0", 6, 1));
  EXPECT_EQ(nullptr, NthString("A\0B\0", 2, 1));  // name 1 starts at the length
  EXPECT_EQ(nullptr, NthString("A\0B", 3, 1));    // name 1 has no NUL within the length
}

}  // namespace
