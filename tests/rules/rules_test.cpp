// The rules both programs follow, on every platform, in named rows: which port a change refuses and why,
// what the Listen lines of httpd.conf give and become, and which ports a netstat log lists.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "file_io.h"
#include "listen_file.h"
#include "port_checks.h"
#include "port_probe.h"
#include "test_support.h"

namespace {

template <typename Row>
std::string RowName(const testing::TestParamInfo<Row>& row) {
  return row.param.name;
}

struct RefusalRow {
  const char* name;
  ApplyMode mode;
  const char* typed;
  std::optional<std::string> configured;
  std::vector<int> used;
  const char* refusal;  // none: the port may be applied
};

const RefusalRow kRefusals[] = {
    {"letters", ApplyMode::Setup, "abc", "80", {}, "Must be number."},
    {"beyond_the_last_port", ApplyMode::Setup, "65536", "80", {}, "Must be 0~65536"},
    {"port_zero", ApplyMode::Setup, "0", "80", {}, "Must be 0~65536"},
    // A number, but no port: refused as such before it is compared.
    {"a_fraction_of_the_configured_port", ApplyMode::Change, "80.0", "80", {80}, "Must be 0~65536"},
    {"unchanged_though_in_use", ApplyMode::Change, "88", "88", {88}, "Not change."},
    {"unchanged_as_the_server_reads_it", ApplyMode::Change, " 088", "0088", {}, "Not change."},
    {"setting_up_on_the_configured_port", ApplyMode::Setup, "88", "88", {88}, "Can't use."},
    {"in_use_as_the_server_reads_it", ApplyMode::Setup, " 080", std::nullopt, {443, 80}, "Can't use."},
    {"no_port_configured", ApplyMode::Change, "80", std::nullopt, {80}, "Can't use."},
    {"configured_as_no_port", ApplyMode::Change, "80", "${PORT}", {}, nullptr},
    {"free", ApplyMode::Change, " 81 ", "80", {80, 8080, 80}, nullptr},
};

class PortChecks : public testing::TestWithParam<RefusalRow> {};

TEST_P(PortChecks, RefuseInTheirOrder) {
  const RefusalRow& row = GetParam();
  const std::optional<std::string> refusal = RefusalFor(row.mode, row.typed, row.configured, row.used);
  EXPECT_EQ(refusal.value_or("none"), row.refusal ? row.refusal : "none");
}

INSTANTIATE_TEST_SUITE_P(Rows, PortChecks, testing::ValuesIn(kRefusals), RowName<RefusalRow>);

struct ListenRow {
  const char* name;
  const char* file;
  std::vector<std::string> read;
  const char* rewritten;  // with 81, "\n" the platform's line end; none: refused
};

const ListenRow kListenFiles[] = {
    {"four_lines",
     "ServerRoot C:/Apache\r\nListen 80\r\n#Listen 12.34.56.78:80\r\nListen 88\r\n",
     {"80", "88"},
     "ServerRoot C:/Apache\nListen 81\n#Listen 12.34.56.78:80\nListen 81\n"},
    {"empty", "", {}, nullptr},
    {"only_Listen_so_written", "Listen 80\r\nlisten 81\r\n", {"80"}, "Listen 81\nlisten 81\n"},
    {"addresses_and_protocols_kept",
     "Listen 10.0.0.5:80\r\nListen [::1]:0008080 http\r\n",
     {"80", "0008080"},
     "Listen 10.0.0.5:81\nListen [::1]:81 http\n"},
    {"indented_tabbed_or_alone_kept",
     "  Listen 82\r\nListen\t83\r\nListen\r\nListen 80\r\n",
     {"80"},
     "  Listen 82\nListen\t83\nListen\nListen 81\n"},
    {"any_line_end_and_none",
     "Listen 80\rListen 82\nListen 83",
     {"80", "82", "83"},
     "Listen 81\nListen 81\nListen 81\n"},
};

class ListenFile : public testing::TestWithParam<ListenRow> {};

// Every Listen line is read in file order; each is rewritten, every line ended as the platform ends them.
TEST_P(ListenFile, ReadAndRewritten) {
  const ListenRow& row = GetParam();
  const TempDir dir;
  const std::string path = dir / "httpd.conf";
  WriteFile(path, row.file);
  std::vector<std::string> read;
  ReadListenPort(path, [&](const std::string& port) { read.push_back(port); });
  EXPECT_EQ(read, row.read);
  std::string expected = row.rewritten ? row.rewritten : "refused";
  for (size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += kLineEnd.size())
    expected.replace(at, 1, kLineEnd);
  std::string rewritten;
  try {
    rewritten = ReadWholeFile(RewriteListenLines(path, "81").temporaryPath());
  } catch (const std::runtime_error&) {
    rewritten = "refused";
  }
  EXPECT_EQ(rewritten, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ListenFile, testing::ValuesIn(kListenFiles), RowName<ListenRow>);

struct NetstatRow {
  const char* name;
  const char* log;
  std::vector<int> ports;
};

const NetstatRow kNetstatLogs[] = {
    // The heading has one field, the IPv6 line seven.
    {"the_worked_example",
     "  Proto  Local Address          Foreign Address        State\r\n"
     "  TCP    0.0.0.0:80             0.0.0.0:0              LISTENING\r\n"
     "  TCP    10.0.0.2:139           10.0.0.9:445           ESTABLISHED\r\n"
     "  UDP    0.0.0.0:445            *:*\r\n"
     "  TCP    [::]:135               [::]:0                 LISTENING\r\n",
     {80, 139, 445}},
    {"a_leading_zero", "  TCP    0.0.0.0:080            0.0.0.0:0              LISTENING\r\n", {80}},
    {"duplicates_in_log_order",
     "  TCP    0.0.0.0:135            0.0.0.0:0              LISTENING\r\n"
     "  UDP    0.0.0.0:53             *:*\r\n"
     "  TCP    10.0.0.2:135           10.0.0.9:50000         ESTABLISHED\r\n",
     {135, 53, 135}},
    {"no_port_or_four_fields",
     "  TCP    0.0.0.0:80:81          0.0.0.0:0              LISTENING\r\n"
     "  TCP    0.0.0.0:               0.0.0.0:0              LISTENING\r\n"
     "  TCP    0.0.0.0:65536          0.0.0.0:0              LISTENING\r\n"
     "  TCP    0.0.0.0:-1             0.0.0.0:0              LISTENING\r\n"
     "  TCP    0.0.0.0:8o             0.0.0.0:0              LISTENING\r\n",
     {}},
};

class NetstatLog : public testing::TestWithParam<NetstatRow> {};

TEST_P(NetstatLog, ListsTheLocalPorts) { EXPECT_EQ(ParseNetstatLog(GetParam().log), GetParam().ports); }

INSTANTIATE_TEST_SUITE_P(Rows, NetstatLog, testing::ValuesIn(kNetstatLogs), RowName<NetstatRow>);

}  // namespace
