// IsLocalAddress: which address texts are public internet peers. Malformed texts count as local,
// so a garbled address is never pinged or listed as a public peer.
#include <gtest/gtest.h>

#include <string>

#include "monitor/address.h"

namespace tolvane {
namespace {

TEST(IsLocalAddress, ClassifiesAddressTexts) {
  struct Case {
    const wchar_t* text;
    bool local;
  };
  const Case cases[] = {
      // Private, loopback, CGNAT, link-local, multicast and reserved IPv4.
      {L"192.168.1.7", true},
      {L"10.0.0.1", true},
      {L"100.64.0.1", true},
      {L"100.127.255.255", true},
      {L"172.16.0.0", true},
      {L"172.31.0.1", true},
      {L"169.254.10.20", true},
      {L"127.0.0.1", true},
      {L"0.0.0.0", true},
      {L"239.1.1.1", true},
      {L"224.0.0.1", true},
      {L"255.255.255.255", true},
      // Public IPv4, including the neighbours of every private range.
      {L"172.32.0.1", false},
      {L"172.15.255.255", false},
      {L"100.128.0.1", false},
      {L"100.63.255.255", false},
      {L"8.8.8.8", false},
      {L"169.253.1.1", false},
      {L"192.167.1.1", false},
      {L"223.255.255.255", false},
      {L"11.0.0.1", false},
      {L"1.0.0.0", false},
      {L"001.002.003.004", false},  // up to three digits, leading zeros included
      // Malformed texts are local.
      {L"300.1.1.1", true},
      {L"256.0.0.1", true},
      {L"1.2.3", true},
      {L"1.2.3.4.5", true},
      {L"1..3.4", true},
      {L".1.2.3", true},
      {L"1.2.3.", true},
      {L"1.2.3.0004", true},
      {L"1.2.3.4 ", true},
      {L" 1.2.3.4", true},
      {L"1.2.3.a", true},
      {L"-1.2.3.4", true},
      {L"example.com", true},
      {L"", true},
      {L"*", true},
      {L"\xFF11.2.3.4", true},  // a full-width digit is not a digit
      // IPv6.
      {L"::", true},
      {L"::1", true},
      {L"fe80::1", true},
      {L"FE80::1", true},
      {L"feb0::1", true},
      {L"FD00::1", true},
      {L"fc00::1", true},
      {L"ff02::1", true},
      {L"2001:db8::1", false},
      {L"2606:4700::6810:2f", false},
      {L"fec0::1", false},
      {L"::2", false},
      // IPv4-mapped IPv6 addresses are judged by the IPv4 address they carry.
      {L"::ffff:192.168.1.7", true},
      {L"::FFFF:127.0.0.1", true},
      {L"::ffff:8.8.8.8", false},
      {L"::ffff:300.1.1.1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLocalAddress(c.text), c.local) << std::wstring(c.text);
}

}  // namespace
}  // namespace tolvane
