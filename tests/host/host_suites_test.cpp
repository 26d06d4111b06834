// The suite holder against a scripted basic suite: lazy acquisition, one release per acquired
// entry in table order, and 516 thrown as a plain integer.
#include "host/host_suites.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FakeBasicSuite {
  std::vector<std::string> calls;   // "acquire NAME VERSION" / "release NAME VERSION"
  int failOnAcquisition = 0;        // 1-based; 0 = never
  bool nullTableOnFailure = false;  // fail by returning 0 with a null table
  int acquisitions = 0;
  SPBasicSuite suite{};
  int table = 0;  // any non-null address serves as a function table

  static FakeBasicSuite* current;

  FakeBasicSuite() {
    current = this;
    suite.AcquireSuite = [](const char* name, int32_t version, const void** out) -> SPErr {
      FakeBasicSuite& self = *current;
      self.calls.push_back("acquire " + std::string(name) + " " + std::to_string(version));
      if (++self.acquisitions == self.failOnAcquisition) {
        *out = nullptr;
        return self.nullTableOnFailure ? 0 : 1;
      }
      *out = &self.table;
      return 0;
    };
    suite.ReleaseSuite = [](const char* name, int32_t version) -> SPErr {
      current->calls.push_back("release " + std::string(name) + " " + std::to_string(version));
      return 7;  // errors from release are ignored
    };
  }
  ~FakeBasicSuite() { current = nullptr; }
};
FakeBasicSuite* FakeBasicSuite::current = nullptr;

PF_Err ThrownCode(const std::function<void()>& body) {
  try {
    body();
  } catch (PF_Err err) {
    return err;
  }
  return PF_Err_NONE;
}

TEST(HostSuites, HolderWithoutAccessMakesNoHostCall) {
  FakeBasicSuite host;
  { HostSuites suites(&host.suite); }
  EXPECT_TRUE(host.calls.empty());
}

TEST(HostSuites, NullBasicSuiteThrows516BeforeAnyCall) {
  EXPECT_EQ(ThrownCode([] { HostSuites suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
}

TEST(HostSuites, AcquiresOnceAndReleasesInTableOrderNotAcquisitionOrder) {
  FakeBasicSuite host;
  {
    HostSuites suites(&host.suite);
    EXPECT_NE(suites.AEGPDynamicStreamSuite2(), nullptr);
    const AEGP_StreamSuite2* first = suites.AEGPStreamSuite7();
    EXPECT_EQ(suites.AEGPStreamSuite7(), first);
  }
  EXPECT_EQ(host.calls, (std::vector<std::string>{
                            "acquire AEGP Dynamic Stream Suite 2",
                            "acquire AEGP Stream Suite 7",
                            "release AEGP Stream Suite 7",
                            "release AEGP Dynamic Stream Suite 2",
                        }));
}

TEST(HostSuites, TwoVersionsOfOneNameAreIndependentSlots) {
  FakeBasicSuite host;
  {
    HostSuites suites(&host.suite);
    suites.AEGPEffectSuite4();
    suites.AEGPEffectSuite2();
    suites.AEGPEffectSuite2();
  }
  EXPECT_EQ(host.calls, (std::vector<std::string>{
                            "acquire AEGP Effect Suite 4",
                            "acquire AEGP Effect Suite 2",
                            "release AEGP Effect Suite 2",
                            "release AEGP Effect Suite 4",
                        }));
}

TEST(HostSuites, FailedAcquisitionThrows516AndIsNeverReleased) {
  for (bool nullTable : {false, true}) {
    SCOPED_TRACE(nullTable ? "zero result with a null table" : "non-zero result");
    FakeBasicSuite host;
    host.failOnAcquisition = 3;
    host.nullTableOnFailure = nullTable;
    PF_Err err = ThrownCode([&] {
      HostSuites suites(&host.suite);
      suites.PFHandleSuite2();
      suites.PFANSISuite1();
      suites.AEGPStreamSuite7();
    });
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.calls, (std::vector<std::string>{
                              "acquire PF Handle Suite 2",
                              "acquire PF ANSI Suite 1",
                              "acquire AEGP Stream Suite 7",
                              "release PF ANSI Suite 1",
                              "release PF Handle Suite 2",
                          }));
  }
}

TEST(HostSuites, FailedSlotIsRetriedOnTheNextAccess) {
  FakeBasicSuite host;
  host.failOnAcquisition = 1;
  {
    HostSuites suites(&host.suite);
    EXPECT_EQ(ThrownCode([&] { suites.PFANSISuite1(); }), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(suites.PFANSISuite1(), nullptr);
  }
  EXPECT_EQ(host.calls.size(), 3u);
  EXPECT_EQ(host.calls.back(), "release PF ANSI Suite 1");
}

// The host's suite names and versions in the holder's order, typed out independently of the
// table in the sources, so a typo in either shows up.
const char* const kPublishedOrder =
    "AEGP Marker Suite:1,2,3;AEGP Layer Suite:8,10;AEGP Stream Suite:10,9,8,7,4;"
    "AEGP Dynamic Stream Suite:2,3,5;AEGP Keyframe Suite:4,3,1;"
    "AEGP Comp Suite:9,11,14,15,18,19,21,25;AEGP Canvas Suite:10,11,13,14;AEGP Camera Suite:2;"
    "AEGP Register Suite:6;AEGP Item View Suite:1;AEGP Item Suite:13,11,10,7,3;"
    "AEGP PF Interface Suite:1;AEGP Math Suite:1;PF AE Adv Time Suite:4;PF Path Query Suite:1;"
    "AEGP Memory Suite:1;PF Path Data Suite:1;PF Param Utils Suite:3;PF AE App Suite:6,7,1;"
    "PF AE Adv App Suite:2;AEGP Light Suite:1,2;AEGP Effect Suite:1,2,3,4;"
    "AEGP Layer Mask Suite:5;AEGP Mask Outline Suite:2,3,5;AEGP Command Suite:1;"
    "AEGP Utility Suite:7;AEGP Render Suite:1,2,3,5,8;PF ANSI Suite:1;PF Handle Suite:2;"
    "PF Fill Matte Suite:2;PF World Transform Suite:1;AEGP QueryXform Suite:4;"
    "AEGP Composite Suite:4;PF World Suite:1;AEGP IO In Suite:5;AEGP IO Out Suite:7;"
    "AEGP Render Queue Suite:1;AEGP Render Queue Item Suite:3;AEGP Output Module Suite:4;"
    "AEGP File Import Manager Suite:3;PF Sampling8 Suite:1;PF Sampling16 Suite:1;"
    "PF Iterate8 Suite:1;PF iterate16 Suite:1;PF iterateFloat Suite:1;AEGP Collection Suite:2;"
    "AEGP Text Document Suite:1;AEGP Sound Data Suite:1;AEGP Text Layer Suite:1;"
    "AEGP Artisan Util Suite:1;AEGP World Suite:2,3;AEGP Render Options Suite:1;"
    "AEGP Tracker Suite:1;AEGP Tracker Utility Suite:1;AE Plugin Helper Suite2:2;"
    "AEGP Layer Suite:11,12,13,14;PF AE Adv Item Suite:1;AEGP Layer Suite:5;"
    "AEGP Layer Mask Suite:2,6,7;AEGP Comp Suite:4;AEGP Collection Suite:1;"
    "PF AE Adv App Suite:1;AEGP Utility Suite:3;AEGP Render Options Suite:2;"
    "AEGP Layer Render Options Suite:1,2;AEGP Render Asyc Manager Suite:1;AEGP Proj Suite:8,9;"
    "AEGP Footage Suite:11;AEGP Render Queue Item Suite:4;AEGP Utility Suite:10;"
    "AEGP Persistent Data Suite:4,3;PF Color Settings Suite:4,3,1;PF ColorParamSuite:1;"
    "PF SamplingFloat Suite:1;AEGP Utility Suite:11,13;PF Effect Custom UI Suite:1,2;"
    "PF Effect Custom UI Overlay Theme Suite:1;DRAWBOT Draw Suite:1;DRAWBOT Supplier Suite:1;"
    "DRAWBOT Surface Suite:2;DRAWBOT Path Suite:1;SP Suites Suite:2";

std::vector<std::string> PublishedEntries() {
  std::vector<std::string> entries;
  std::stringstream groups(kPublishedOrder);
  std::string group;
  while (std::getline(groups, group, ';')) {
    const size_t colon = group.find(':');
    std::stringstream versions(group.substr(colon + 1));
    std::string version;
    while (std::getline(versions, version, ','))
      entries.push_back(group.substr(0, colon) + " " + version);
  }
  return entries;
}

TEST(HostSuites, EveryEntryAcquiredIsReleasedOnceInThePublishedOrder) {
  const std::vector<std::string> published = PublishedEntries();
  ASSERT_EQ(published.size(), static_cast<size_t>(HostSuites::kSuiteCount));
  FakeBasicSuite host;
  {
    HostSuites suites(&host.suite);
    for (size_t i = HostSuites::kSuiteCount; i-- > 0;)
      suites.Get(static_cast<HostSuites::Index>(i));
  }
  ASSERT_EQ(host.calls.size(), 2 * published.size());
  for (size_t i = 0; i < published.size(); ++i) {
    EXPECT_EQ(host.calls[published.size() - 1 - i], "acquire " + published[i]);
    EXPECT_EQ(host.calls[published.size() + i], "release " + published[i]);
  }
}

TEST(HostSuites, NamedAccessorsReachTheirOwnEntries) {
  struct Case {
    const void* (*access)(HostSuites&);
    const char* expected;
  };
  const Case cases[] = {
      {[](HostSuites& s) -> const void* { return s.PFANSISuite1(); }, "PF ANSI Suite 1"},
      {[](HostSuites& s) -> const void* { return s.PFHandleSuite2(); }, "PF Handle Suite 2"},
      {[](HostSuites& s) -> const void* { return s.AEGPPFInterfaceSuite1(); },
       "AEGP PF Interface Suite 1"},
      {[](HostSuites& s) -> const void* { return s.AEGPStreamSuite7(); }, "AEGP Stream Suite 7"},
      {[](HostSuites& s) -> const void* { return s.AEGPDynamicStreamSuite2(); },
       "AEGP Dynamic Stream Suite 2"},
      {[](HostSuites& s) -> const void* { return s.AEGPEffectSuite2(); }, "AEGP Effect Suite 2"},
  };
  for (const Case& c : cases) {
    FakeBasicSuite host;
    {
      HostSuites suites(&host.suite);
      c.access(suites);
    }
    EXPECT_EQ(host.calls, (std::vector<std::string>{std::string("acquire ") + c.expected,
                                                    std::string("release ") + c.expected}));
  }
}

}  // namespace
