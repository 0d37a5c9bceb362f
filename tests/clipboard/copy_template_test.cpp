// Template expansion: placeholders, plain words, fallbacks and text that must pass unchanged.
#include <gtest/gtest.h>

#include <string>

#include "clipboard/copy_template.h"
#include "settings/settings.h"

namespace tolvane {
namespace {

struct TemplateCase {
  const wchar_t* name;
  std::wstring tpl;
  bool words;
  int32_t port;
  std::wstring expected;
};

// Values used by every case: ip 35.214.40.77, app Discord.exe, pid 4242, proto UDP4.
std::wstring Expand(const TemplateCase& c, std::wstring_view fallback = L"IP") {
  return ExpandTemplate(c.tpl, fallback, c.words, L"35.214.40.77", c.port, L"Discord.exe", 4242, L"UDP4");
}

TEST(ExpandTemplate, ExpandsPlaceholdersAndWords) {
  const TemplateCase cases[] = {
      {L"word IP on", L"IP", true, 50031, L"35.214.40.77"},
      {L"word IP off", L"IP", false, 50031, L"IP"},
      {L"empty falls back, words on", L"", true, 50031, L"35.214.40.77"},
      {L"empty falls back, words off", L"", false, 50031, L"IP"},
      {L"lower-case word", L"ip", true, 50031, L"35.214.40.77"},
      {L"mixed-case word", L"Ip PORT", true, 50031, L"35.214.40.77 50031"},
      {L"ping command", L"ping IP -n 4", true, 50031, L"ping 35.214.40.77 -n 4"},
      {L"curl url", L"curl http://IP:port/", true, 50031, L"curl http://35.214.40.77:50031/"},
      {L"placeholders upper", L"{IP}:{Port}", false, 50031, L"35.214.40.77:50031"},
      {L"placeholders lower", L"{ip}:{port}", false, 50031, L"35.214.40.77:50031"},
      {L"all placeholders", L"{ep} {app} {pid} {proto}", false, 50031, L"35.214.40.77:50031 Discord.exe 4242 UDP4"},
      {L"odd case placeholders", L"{EP}|{aPp}|{PID}|{Proto}", true, 7, L"35.214.40.77:7|Discord.exe|4242|UDP4"},
      {L"unknown placeholder", L"{host}", true, 50031, L"{host}"},
      {L"unknown placeholder holding a word", L"{my ip}", true, 50031, L"{my 35.214.40.77}"},
      {L"lone open brace", L"a{b", true, 50031, L"a{b"},
      {L"lone close brace", L"a}b", false, 50031, L"a}b"},
      {L"close before open", L"}{", true, 50031, L"}{"},
      {L"brace pair around nothing", L"{}", true, 50031, L"{}"},
      {L"nested open brace", L"{{ip}}", false, 50031, L"{35.214.40.77}"},
      {L"port 0 word", L"IP:port", true, 0, L"35.214.40.77:"},
      {L"port 0 ep", L"{ep}", true, 0, L"35.214.40.77"},
      {L"negative port", L"{ep}/{port}", true, -5, L"35.214.40.77/"},
      {L"IPs is text", L"IPs", true, 50031, L"IPs"},
      {L"myIP is text", L"myIP", true, 50031, L"myIP"},
      {L"IP_2 is text", L"IP_2", true, 50031, L"IP_2"},
      {L"ip4 is text", L"ip4", true, 50031, L"ip4"},
      {L"ports is text", L"ports", true, 50031, L"ports"},
      {L"IP:port has two", L"IP:port", true, 9, L"35.214.40.77:9"},
      {L"IP/port has two", L"IP/port", true, 9, L"35.214.40.77/9"},
      {L"(IP) has one", L"(IP)", true, 9, L"(35.214.40.77)"},
      {L"words off keeps port", L"IP:port {ip}", false, 9, L"IP:port 35.214.40.77"},
  };
  for (const TemplateCase& c : cases) {
    EXPECT_EQ(Expand(c), c.expected) << c.name;
  }
}

TEST(ExpandTemplate, ReplacedTextIsNotScannedAgain) {
  // An app name that itself looks like a template must land verbatim.
  EXPECT_EQ(ExpandTemplate(L"{app} IP", L"IP", true, L"1.2.3.4", 80, L"IP {port}", 1, L"TCP4"), L"IP {port} 1.2.3.4");
  EXPECT_EQ(ExpandTemplate(L"{proto}", L"IP", true, L"1.2.3.4", 80, L"", 1, L"{ip}"), L"{ip}");
}

TEST(ExpandTemplate, PidIsWrittenUnsigned) {
  EXPECT_EQ(ExpandTemplate(L"{pid}", L"IP", true, L"1.2.3.4", 0, L"", 4294967295u, L""), L"4294967295");
  EXPECT_EQ(ExpandTemplate(L"{pid}", L"IP", true, L"1.2.3.4", 0, L"", 0, L""), L"0");
}

TEST(ExpandTemplate, SettingsTemplatesAndTheirFallbacks) {
  Settings settings;
  EXPECT_EQ(ExpandIpTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"104.1.2.3");
  EXPECT_EQ(ExpandEndpointTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"104.1.2.3:443");
  settings.tplIp = L"";
  settings.tplEp = L"";
  EXPECT_EQ(ExpandIpTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"104.1.2.3");
  EXPECT_EQ(ExpandEndpointTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"104.1.2.3:443");
  settings.tplWords = false;
  EXPECT_EQ(ExpandIpTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"IP");
  EXPECT_EQ(ExpandEndpointTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"IP:port");
  settings.tplIp = L"{app}:{ip}";
  settings.tplEp = L"{ep} via {proto}";
  EXPECT_EQ(ExpandIpTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"a.exe:104.1.2.3");
  EXPECT_EQ(ExpandEndpointTemplate(settings, L"104.1.2.3", 443, L"a.exe", 1, L"TCP4"), L"104.1.2.3:443 via TCP4");
}

}  // namespace
}  // namespace tolvane
