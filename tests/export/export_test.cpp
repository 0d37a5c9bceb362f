// The export's texts read back by independent readers (Python's csv and json modules), its time
// stamps, its file names and the console program's options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/console_export.h"
#include "export/export_table.h"
#include "export/export_writer.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

// Compares an export's CSV and JSON with the expected cells ("-": no value), with the readers a
// script of the user would take. Exits 1 and says why when anything differs.
constexpr char kReadBack[] = R"PY(
import csv, datetime, json, re, sys
csv_path, json_path, expected_path = sys.argv[1:]
with open(expected_path, encoding="ascii") as f:
    expected = [[None if c == "-" else bytes.fromhex(c).decode() for c in line.rstrip("\n").split("\t")] for line in f]
header, rows = expected[0], expected[1:]
problems = []
with open(csv_path, "rb") as f:
    if not f.read().startswith(b"\xef\xbb\xbf"):
        problems.append("no byte-order mark")
with open(csv_path, encoding="utf-8-sig", newline="") as f:
    got = list(csv.reader(f, strict=True))
want = [header] + [["" if c is None else c for c in r] for r in rows]
if got != want:
    problems.append(f"csv {got!r} != {want!r}")
with open(json_path, encoding="utf-8") as f:
    doc = json.load(f)
plain = lambda v: v if v is None or isinstance(v, str) else json.dumps(v)
got = [[plain(v) for v in row.values()] for row in doc["connections"]]
if [list(row) for row in doc["connections"]] != [header] * len(rows) or got != rows:
    problems.append(f"json {doc['connections']!r} != {rows!r}")
if datetime.datetime.fromisoformat(doc["time"]).utcoffset() is None or not re.fullmatch(r"\d+\.\d+\.\d+", doc["version"]):
    problems.append(f"time {doc['time']!r}, version {doc['version']!r}")
print("\n".join(problems))
sys.exit(1 if problems else 0)
)PY";

std::string Hex(const std::wstring& text) {
  std::string out;
  for (unsigned char c : WideToUtf8(text)) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += {kDigits[c >> 4], kDigits[c & 15]};
  }
  return out;
}

TEST(ExportTexts, CsvAndJsonReadBackByPythonWithEveryQuotingEdge) {
  if (std::system("python3 -c 0") != 0) GTEST_SKIP() << "no python3 here (the Windows tree under Wine)";
  ViewRow a;
  a.processName = L"Дискорд, \"beta\".exe";  // comma, quotes, non-ASCII
  a.pid = 4242;
  a.protocol = L"UDP4";
  a.localEndpoint = L"10.0.0.2:50001";
  a.localPort = 50001;
  a.remoteAddress = L"*";  // no peer: no address, no port
  a.state = L"OPEN";
  a.category = L"discord";
  a.role = L"Voice\r\nCall \U0001F600";  // a line break inside a field, a character beyond 16 bits
  a.latencyMs = -2;                      // none
  ViewRow b = a;
  b.processName = L"\"";
  b.protocol = L"TCP6";
  b.localEndpoint = L"[2001:db8::1]:443";
  b.localPort = 443;
  b.remoteAddress = L"2606:4700::1";
  b.remotePort = 8443;
  b.role = L"trailing\n";
  b.latencyMs = 38;
  const std::vector<std::vector<const wchar_t*>> want = {
      {L"application", L"pid", L"protocol", L"localAddress", L"localPort", L"remoteAddress", L"remotePort", L"state",
       L"category", L"role", L"latencyMs"},
      {a.processName.c_str(), L"4242", L"UDP4", L"10.0.0.2", L"50001", nullptr, nullptr, L"OPEN", L"discord",
       a.role.c_str(), nullptr},
      {L"\"", L"4242", L"TCP6", L"2001:db8::1", L"443", L"2606:4700::1", L"8443", L"OPEN", L"discord", L"trailing\n",
       L"38"},
  };
  ExportDocument doc{L"1.1.0", IsoTime(1714564987000, 120), {ConnectionTable({a, b})}};
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tolvane-export-test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "t.csv", std::ios::binary) << CsvText(doc.tables[0]);
  std::ofstream(dir / "t.json", std::ios::binary) << JsonText(doc);
  std::ofstream(dir / "read_back.py", std::ios::binary) << kReadBack;
  std::ofstream expected(dir / "expected.txt", std::ios::binary);
  for (const auto& row : want) {
    for (size_t i = 0; i < row.size(); ++i) expected << (i ? "\t" : "") << (row[i] ? Hex(row[i]) : "-");
    expected << "\n";
  }
  expected.close();
  const std::string command = "python3 " + (dir / "read_back.py").string() + " " + (dir / "t.csv").string() + " " +
                              (dir / "t.json").string() + " " + (dir / "expected.txt").string();
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::filesystem::remove_all(dir);
}

TEST(ExportFiles, CallsAndHistoryFilesAreNamedAfterTheChosenOne) {
  EXPECT_EQ(SiblingPath(L"C:\\a b\\x.csv", L"-calls"), L"C:\\a b\\x-calls.csv");
  EXPECT_EQ(SiblingPath(L"/home/u.v/x.CSV", L"-history"), L"/home/u.v/x-history.CSV");
  EXPECT_EQ(SiblingPath(L"C:\\a.b\\x", L"-calls"), L"C:\\a.b\\x-calls");
  EXPECT_EQ(ExportFormatOf(L"C:\\a.json\\x.Json"), ExportFormat::Json);
  EXPECT_EQ(ExportFormatOf(L"C:\\a.csv\\x"), std::nullopt);
}

TEST(ConsoleExport, OptionsAreWholeArgumentsAndBadOnesAreRefused) {
  ExportCommand c;
  std::wstring error;
  ASSERT_TRUE(ParseExportArguments({L"--demo", L"--export=C:\\My Files\\out.json", L"--seconds=600"}, c, error));
  EXPECT_EQ(c.file, L"C:\\My Files\\out.json");
  EXPECT_EQ(c.seconds, 600u);
  EXPECT_TRUE(c.demo);
  for (const std::vector<std::wstring>& bad :
       std::vector<std::vector<std::wstring>>{{L"--export=x.csv", L"--seconds=0"},
                                              {L"--export=x.csv", L"--seconds=601"},
                                              {L"--export=x.csv", L"--seconds=2s"},
                                              {L"--export=x.csv", L"--seconds="},
                                              {L"--export=x.txt"},
                                              {L"--export="},
                                              {L"--seconds=3"},
                                              {L"--export=x.csv", L"--bench"},
                                              {L"--export", L"x.csv"}}) {
    error.clear();
    EXPECT_FALSE(ParseExportArguments(bad, c, error)) << bad.back();
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find(L'\n'), std::wstring::npos);
  }
}

}  // namespace
}  // namespace tolvane
