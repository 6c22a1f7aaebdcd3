#pragma once
// A firewall that records each call with its parameters, in order, and
// answers what the test sets.

#include <map>
#include <string>
#include <vector>

#include "integration/firewall.h"

namespace ks::test {

class RecordingFirewall : public FirewallSettings {
 public:
  std::int32_t Connect() override { return Answer("connect"); }
  std::int32_t OpenPort(std::int32_t port, int protocol, const WString& name) override {
    return Answer("open port " + std::to_string(port) + " " + std::to_string(protocol) + " " + WideToUtf8(name));
  }
  std::int32_t AuthorizeProgram(const WString& path, const WString& name) override {
    return Answer("authorize " + WideToUtf8(path) + " " + WideToUtf8(name));
  }
  std::int32_t ClosePort(std::int32_t port, int protocol) override {
    return Answer("close port " + std::to_string(port) + " " + std::to_string(protocol));
  }
  std::int32_t RemoveProgram(const WString& path) override { return Answer("remove " + WideToUtf8(path)); }
  void Close() override { calls.push_back("close"); }

  std::vector<std::string> calls;
  std::map<std::string, std::int32_t> results;  // by call text; 0 for the others

 private:
  std::int32_t Answer(std::string call) {
    const auto found = results.find(call);
    calls.push_back(std::move(call));
    return found == results.end() ? 0 : found->second;
  }
};

}  // namespace ks::test
