// Device URIs and ports, and the option text of a backend.
#include <qv/cups.h>

#include <gtest/gtest.h>

namespace {

using qv::cups::DeviceUriOfPort;
using qv::cups::OptionValue;
using qv::cups::PortOfDeviceUri;
using qv::cups::QuorvanePort;

struct UriRow {
  const char* name;
  const char* uri;
  const char* port;  // what PortOfDeviceUri gives
  bool quorvane;     // whether QuorvanePort finds a port
};

const UriRow kUris[] = {
    {"plain_port", "quorvane:/Arch", "Arch", true},
    {"encoded_space", "quorvane:/My%20Port", "My Port", true},
    {"encoded_slash", "quorvane:/a%2Fb", "a/b", true},
    {"utf8_port", "quorvane:/Caf%C3%A9", "Caf\xC3\xA9", true},
    {"two_slashes", "quorvane://Arch", "Arch", true},
    {"scheme_case", "QUORVANE:/Arch", "Arch", true},
    {"no_port", "quorvane:/", "quorvane:/", false},
    {"bad_escape", "quorvane:/a%2", "quorvane:/a%2", false},
    {"bad_hex", "quorvane:/a%zz", "quorvane:/a%zz", false},
    {"file_uri", "file:///dev/null", "FILE:", false},
    {"other_uri", "ipp://host/printers/x", "ipp://host/printers/x", false},
};

class UriTest : public ::testing::TestWithParam<UriRow> {};

TEST_P(UriTest, PortOfUri) {
  const UriRow& row = GetParam();
  EXPECT_EQ(PortOfDeviceUri(row.uri), row.port);
  EXPECT_EQ(QuorvanePort(row.uri).has_value(), row.quorvane);
}

INSTANTIATE_TEST_SUITE_P(Uris, UriTest, ::testing::ValuesIn(kUris),
                         [](const ::testing::TestParamInfo<UriRow>& info) { return info.param.name; });

struct PortRow {
  const char* name;
  const char* port;
  const char* uri;
};

const PortRow kPorts[] = {
    {"plain", "Arch", "quorvane:/Arch"},
    {"space_and_slash", "My Port/2", "quorvane:/My%20Port%2F2"},
    {"percent", "100%", "quorvane:/100%25"},
    {"file_port", "FILE:", "file:///dev/null"},
    {"file_port_case", "file:", "file:///dev/null"},
    {"uri_port", "socket://10.0.0.5:9100", "socket://10.0.0.5:9100"},
    {"colon_not_uri", "LPT1:", "quorvane:/LPT1%3A"},
};

class PortTest : public ::testing::TestWithParam<PortRow> {};

TEST_P(PortTest, UriOfPortComesBack) {
  const PortRow& row = GetParam();
  EXPECT_EQ(DeviceUriOfPort(row.port), row.uri);
  std::string back = PortOfDeviceUri(row.uri);
  if (std::string(row.uri).rfind("quorvane:", 0) == 0) {
    EXPECT_EQ(back, row.port);
  }
}

INSTANTIATE_TEST_SUITE_P(Ports, PortTest, ::testing::ValuesIn(kPorts),
                         [](const ::testing::TestParamInfo<PortRow>& info) { return info.param.name; });

struct OptionRow {
  const char* name;
  const char* options;
  const char* key;
  const char* value;  // null: absent
};

const OptionRow kOptions[] = {
    {"simple", "a=1 quorvane-hops=3 b=2", "quorvane-hops", "3"},
    {"first", "quorvane-hops=1", "quorvane-hops", "1"},
    {"absent", "a=1 b=2", "quorvane-hops", nullptr},
    {"prefix_is_not_match", "quorvane-hops-x=9", "quorvane-hops", nullptr},
    {"quoted_value", "job-originating-host-name='my host' x=1", "job-originating-host-name", "my host"},
    {"escaped_space", "title=a\\ b", "title", "a b"},
    {"flag_without_value", "landscape x=1", "landscape", ""},
    {"empty_text", "", "x", nullptr},
};

class OptionTest : public ::testing::TestWithParam<OptionRow> {};

TEST_P(OptionTest, FindsValue) {
  const OptionRow& row = GetParam();
  std::optional<std::string> value = OptionValue(row.options, row.key);
  if (!row.value) {
    EXPECT_FALSE(value.has_value());
  } else {
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, row.value);
  }
}

INSTANTIATE_TEST_SUITE_P(Options, OptionTest, ::testing::ValuesIn(kOptions),
                         [](const ::testing::TestParamInfo<OptionRow>& info) { return info.param.name; });

}  // namespace
