// Notification requests of a real installer under Wine. A small HTTP server
// on 127.0.0.1 (started by each test, answering only there, ending by itself
// after a bounded time) records the requests; the installers are the engine
// with a settings stream made for the test. A good installer carries no files,
// so it installs nothing and ends soon after the start notification was
// queued: the end of the process must still let it leave.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "harness/driver.h"
#include "harness/http_server.h"
#include "harness/installer.h"
#include "harness/wine.h"
#include "lib/notification.h"

namespace ks::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// A port on 127.0.0.1 with nobody listening: bound, then closed again.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

// The engine with a settings stream of `settings` as its archive, in the prefix.
std::string MakeInstaller(const InstallSettings& settings) {
  InstallerSpec plan;
  plan.settings = settings;
  return e2e::MakeInstaller(plan);
}

InstallSettings Settings(const std::string& start_url, const std::string& error_url = "") {
  InstallSettings s;
  // Each test installs into a folder of its own in the shared prefix.
  s.product_name = Widen(UniqueName("Notified"));
  s.display_version = u"1.0 beta/2";
  s.start_url = start_url;
  s.error_url = error_url;
  return s;
}

struct TimedRun {
  DriverRun driver;
  double seconds = 0;
};

TimedRun RunSilent(const std::string& installer) {
  DriverOptions options;
  options.timeout_seconds = 90;
  const auto start = Clock::now();
  TimedRun run;
  run.driver = RunProgram(installer, {"/silent"}, options);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return run;
}

std::string Url(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

// The system facts as the engine's own OS code reports them under this prefix.
std::map<std::string, std::string> OsFacts() {
  const std::string tool = CopyIntoPrefix(BuildProgramLinuxPath("ksosinfo.exe"), ScratchFolder(),
                                          UniqueName("osinfo") + ".exe");
  const WineResult r = RunWine({tool}, 60);
  std::map<std::string, std::string> facts;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return facts;
}

const int kInstalledExit = 0;
const int kCorruptExit = 2;
// Wine's start-up plus the notification bounds (docs/notifications.md).
const double kBoundSeconds = 30;

class Notification : public WineTest {};

TEST_F(Notification, StartAddressWithEveryPlaceholder) {
  LocalHttpServer server(true);
  ASSERT_NE(server.port(), 0);
  const std::string installer = MakeInstaller(Settings(Url(
      server.port(),
      "/start?v=%version%&s=%Session%&os=%OS%&ma=%OSMajor%&mi=%OSMinor%&n=%OSName%&d=%OSDescription%"
      "&srv=%OSServer%&V=%VERSION%")));
  ASSERT_FALSE(installer.empty());
  const TimedRun run = RunSilent(installer);
  ASSERT_TRUE(run.driver.ok) << run.driver.error << run.driver.output;
  EXPECT_EQ(run.driver.exit_code, kInstalledExit);

  const std::map<std::string, std::string> os = OsFacts();
  ASSERT_TRUE(os.count("os_number")) << "ksosinfo gave no facts";
  // The session is random per run: the line is compared with it as a mark.
  const std::string expected = "GET /start?v=1.0%20beta%2F2&s=SESSION&os=" + os.at("os_number") +
                               "&ma=" + os.at("major") + "&mi=" + os.at("minor") +
                               "&n=" + UrlEscape(os.at("short_name")) +
                               "&d=" + UrlEscape(os.at("full_name")) + "&srv=" +
                               (os.at("product_type") == "1" ? "0" : "1") + "&V=1.0%20beta%2F2 HTTP/1.1";
  const std::vector<Received> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(std::regex_replace(requests[0].request_line, std::regex("&s=[0-9]{1,19}&"), "&s=SESSION&"),
            expected);
  EXPECT_EQ(requests[0].user_agent, "Kestrelon Setup Installer");
}

TEST_F(Notification, CorruptInstallerSendsTheErrorAddressBeforeItEnds) {
  LocalHttpServer server(true);
  ASSERT_NE(server.port(), 0);
  InstallSettings s = Settings(Url(server.port(), "/start"), Url(server.port(), "/error?v=%version%"));
  // A list of more than 1,000 associations is corrupt (code 36), found after
  // the addresses were read and before the start notification.
  s.associations.resize(1001);
  const std::string installer = MakeInstaller(s);
  ASSERT_FALSE(installer.empty());
  const TimedRun run = RunSilent(installer);
  ASSERT_TRUE(run.driver.ok) << run.driver.error << run.driver.output;
  EXPECT_EQ(run.driver.exit_code, kCorruptExit);
  const std::vector<Received> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].request_line, "GET /error?v=1.0%20beta%2F2 HTTP/1.1");
}

TEST_F(Notification, BlankAddressSendsNothing) {
  LocalHttpServer server(true);
  ASSERT_NE(server.port(), 0);
  const std::string installer = MakeInstaller(Settings(" \t\r\n"));
  ASSERT_FALSE(installer.empty());
  const TimedRun run = RunSilent(installer);
  ASSERT_TRUE(run.driver.ok) << run.driver.error << run.driver.output;
  EXPECT_EQ(run.driver.exit_code, kInstalledExit);
  EXPECT_TRUE(server.requests().empty());
}

struct DeadCase {
  const char* name;
  bool hung_server;  // else a closed port
  bool corrupt;      // the error address, sent with the wait flag
};

std::string DeadCaseName(const ::testing::TestParamInfo<DeadCase>& info) { return info.param.name; }

class DeadServer : public WineTestWithParam<DeadCase> {};

TEST_P(DeadServer, DoesNotHoldTheInstaller) {
  const DeadCase& c = GetParam();
  LocalHttpServer hung(false);
  const int port = c.hung_server ? hung.port() : ClosedPort();
  ASSERT_NE(port, 0);
  InstallSettings s = Settings(Url(port, "/start"), Url(port, "/error"));
  if (c.corrupt) s.associations.resize(1001);
  const std::string installer = MakeInstaller(s);
  ASSERT_FALSE(installer.empty());
  const TimedRun run = RunSilent(installer);
  ASSERT_TRUE(run.driver.ok) << run.driver.error << run.driver.output;
  EXPECT_FALSE(run.driver.timed_out);
  EXPECT_EQ(run.driver.exit_code, c.corrupt ? kCorruptExit : kInstalledExit);
  EXPECT_LT(run.seconds, kBoundSeconds);
}

INSTANTIATE_TEST_SUITE_P(Bounded, DeadServer,
                         ::testing::Values(DeadCase{"ClosedPort", false, false},
                                           DeadCase{"ClosedPortError", false, true},
                                           DeadCase{"HungServer", true, false},
                                           DeadCase{"HungServerError", true, true}),
                         DeadCaseName);

}  // namespace
}  // namespace ks::e2e
