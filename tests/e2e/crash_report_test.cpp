// Crashes of the shipped engine, brought about from outside: the product's
// own batch runs ksinject (tests/tools/ksinject.cpp), which injects a thread
// into the running installer or uninstaller that writes to address 0x10 or
// raises an exception, and keeps the batch (and so the main thread) waiting
// until the process has ended. The crash dialog is read and answered through
// ksdriver; the report's form post goes to a loopback server.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/install_settings.h"
#include "core/pe_resources.h"
#include "core/product_flags.h"
#include "crash/report_form.h"
#include "harness/driver.h"
#include "harness/http_server.h"
#include "harness/installer.h"
#include "harness/key_values.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr ProductFlags kAlwaysLog = FlagLow(0x00000040);
constexpr ProductFlags kHiddenPreInstallBatch = FlagLow(0x00800000);
constexpr int kEmailEdit = 2705;
constexpr int kCommentsEdit = 2707;
const std::string kSupport = "help@maker.example";
const std::string kEmailPrompt =
    "Please enter your email address.  This is optional but recommended because reproducing the crash may "
    "require a few questions.";

std::string Apology(const std::string& support) {
  return "We apologize for the inconvenience, but the program has performed an illegal operation and must "
         "close.  Please report this problem to " +
         support + " by clicking the \"Inform Us\" button below.";
}

// The engine with the maker's addresses, as the authoring tool writes them.
void SetAddresses(Bytes& engine, const std::string& support, const std::string& endpoint) {
  ResourceTable table;
  std::string error;
  ASSERT_TRUE(ReadResources(engine, &table, &error)) << error;
  PutResourceString(table, kSupportAddressStringId, kResourceLanguageEnglishUs, Widen(support));
  PutResourceString(table, kReportEndpointStringId, kResourceLanguageEnglishUs, Widen(endpoint));
  Bytes edited;
  ASSERT_TRUE(WriteResources(engine, table, &edited, &error)) << error;
  engine = std::move(edited);
}

// The value after "label" on the report's line that starts with it.
std::string LineValue(const std::string& report, const std::string& label) {
  for (const std::string& line : CrLfLines(report)) {
    if (line.rfind(label, 0) == 0) return line.substr(label.size());
  }
  return "<no line " + label + ">";
}

// The file name of the module in the report's list whose range holds `address`.
std::string ListedModuleAt(const std::string& report, const std::string& address) {
  const std::size_t list = report.find("\r\nModules:\r\n");
  if (list == std::string::npos) return "<no module list>";
  const std::uint64_t a = std::stoull(address, nullptr, 16);
  std::istringstream in(report.substr(list + 12));
  std::string first, last, path;
  while (in >> first >> last && std::getline(in, path)) {
    if (first == "Call") break;
    if (std::stoull(first, nullptr, 16) <= a && a <= std::stoull(last, nullptr, 16)) {
      path = path.substr(1, path.find('\r') - 1);
      return path.substr(path.find_last_of('\\') + 1);
    }
  }
  return "<none>";
}

// Serial: every crash is set off by an installation batch, and every
// installation writes its batch under the one name in the prefix's temporary
// folder, so two at once would run each other's.
class SerialCrashReport : public WineTest {
 protected:
  int Digits() const { return env().arch == "x86_64" ? 16 : 8; }

  // The batch command that crashes the program `exe_name` running it (the
  // tools folder has no blanks).
  std::string InjectLine(const std::string& exe_name, const std::string& how) const {
    return env().tools_dir + "\\ksinject.exe " + exe_name + " " + how;
  }

  // An installer named `exe_name` in `dir`'s parent whose pre-installation
  // batch crashes it as `how` says; `addresses` puts the maker's addresses in.
  std::string Installer(const std::string& dir, const std::string& exe_name, const std::string& how,
                        const std::string& support, const std::string& endpoint) {
    InstallerSpec plan;
    plan.settings.product_name = Widen(UniqueName("Crash"));
    plan.settings.install_path = Widen(dir);
    plan.settings.product_flags = kAlwaysLog | kHiddenPreInstallBatch;
    plan.settings.pre_install_batch = InjectLine(exe_name, how);
    if (!support.empty() || !endpoint.empty())
      plan.engine_patch = [&](Bytes& engine) { SetAddresses(engine, support, endpoint); };
    const std::string built = MakeInstaller(plan);
    if (built.empty()) return {};
    const std::string path = built.substr(0, built.rfind('\\') + 1) + exe_name;
    std::filesystem::rename(LinuxPath(built), LinuxPath(path));
    return path;
  }

  // The crash dialog among the windows, or a failure.
  const ShownWindow* Dialog(const DriverRun& run) {
    for (const ShownWindow& w : run.windows) {
      if (w.title == "Illegal Operation") return &w;
    }
    ADD_FAILURE() << "no crash dialog:\n" << run.output;
    return nullptr;
  }
};

TEST_F(SerialCrashReport, WriteToAddress0x10InAnotherThread) {
  LocalHttpServer server(true);
  ASSERT_NE(server.port(), 0);
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const std::string exe = UniqueName("crash") + ".exe";
  const std::string installer =
      Installer(dir, exe, "write-0x10", kSupport, "http://127.0.0.1:" + std::to_string(server.port()) + "/form");
  ASSERT_FALSE(installer.empty());

  DriverOptions options;
  options.timeout_seconds = 120;
  options.sets = {{kEmailEdit, "ann@example.com"}, {kCommentsEdit, "Clicked Next.\r\nThen it closed."}};
  options.presses_keeping_open = {"Copy Report"};
  options.presses = {"Inform Us"};
  options.watch_clipboard = true;
  const DriverRun run = RunProgram(installer, {"/a"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  // The process ends as after any unhandled exception: with its code.
  EXPECT_EQ(static_cast<std::uint32_t>(run.exit_code), 0xC0000005u) << run.output;

  const ShownWindow* dialog = Dialog(run);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->cls, "#32770");
  EXPECT_EQ(dialog->texts,
            (std::vector<std::string>{Apology(kSupport), kEmailPrompt, "Comments / steps to reproduce:"}));
  EXPECT_EQ(dialog->buttons, (std::vector<std::string>{"Inform Us", "Copy Report", "Exit"}));
  EXPECT_TRUE(dialog->disabled.empty());
  EXPECT_EQ(dialog->pressed, "Inform Us");
  ASSERT_EQ(dialog->edits.size(), 3u);
  const std::string report = dialog->edits[0];

  // The report's lines.
  EXPECT_EQ(report.rfind("Exception: Illegal memory access.\r\n\r\nProduct: Kestrelon Setup 46.0 Standard Edition\r\n"
                         "Exception code: C0000005\r\nAddress: ",
                         0),
            0u)
      << report;
  EXPECT_EQ(LineValue(report, "Read/write: "), "write");
  EXPECT_EQ(LineValue(report, "Memory address: "), std::string(Digits() - 2, '0') + "10");
  const std::string address = LineValue(report, "Address: ");
  EXPECT_EQ(address.size(), static_cast<std::size_t>(Digits()));
  const std::string module = LineValue(report, "Module: ");
  EXPECT_FALSE(module.empty());
  EXPECT_EQ(module, ListedModuleAt(report, address)) << report;
  const std::string threads = LineValue(report, "Thread ID: ");
  const std::size_t main_at = threads.find("  Main Thread: ");
  ASSERT_NE(main_at, std::string::npos) << threads;
  EXPECT_NE(threads.substr(0, main_at), threads.substr(main_at + 15)) << "the crash was in the injected thread";
  EXPECT_EQ(LineValue(report, "Command line: "), QuoteWindowsArg(installer) + " /a");
  const std::string ip = env().arch == "x86_64" ? "  RIP: " : "  EIP: ";
  EXPECT_NE(report.find("\r\nCPU Registers:\r\nFlags: "), std::string::npos) << report;
  EXPECT_EQ(LineValue(report, ip), address) << "the instruction pointer is where the exception happened";
  for (const char* segment : {"   CS: ", "   DS: ", "   ES: ", "   FS: ", "   GS: ", "   SS: "}) {
    const std::string value = LineValue(report, segment);
    EXPECT_EQ(value.size(), 8u) << segment;
    EXPECT_EQ(value.substr(0, 4), "0000") << segment << "a selector has 16 bits";
  }
  EXPECT_NE(report.find("\r\nCall Stack:\r\n"), std::string::npos);

  // The log's crash marker: Install.log is written at the crash.
  const std::string log = ReadPrefixFile(dir + "\\Install.log").value_or("<no Install.log>");
  EXPECT_NE(log.find("*** FAILURE SUMMARY ***\r\n\r\n\r\nINSTALLER CRASHED!\r\n" + report), std::string::npos) << log;

  // "Copy Report": the report's 8-bit text.
  EXPECT_EQ(run.clipboard, (std::vector<std::string>{report}));

  // "Inform Us": one form post, its fields in order.
  const std::vector<Received> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].request_line, "POST /form HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Content-Type"), "multipart/form-data; boundary=AaB03x");
  const std::string part = "--AaB03x\r\nContent-Disposition: form-data; name=";
  EXPECT_EQ(requests[0].body,
            part + "\"from\"\r\n\r\n" + kSupport + "\r\n" +                                            //
                part + "\"body\"\r\n\r\n" + report +                                                   //
                "\r\nEmail: ann@example.com\r\nClicked Next.\r\nThen it closed.\r\n" +                 //
                part + "\"subject\"\r\n\r\nException - Installer 46.0: " + exe + "\r\n" +             //
                part + "\"headers\"\r\n\r\nX-Tessarine-Internal: 2\r\nX-Exception-Email: ann@example.com\r\n"
                       "Reply-To: ann@example.com\r\n\r\n" +
                "--AaB03x--\r\n");
}

TEST_F(SerialCrashReport, FatalErrorWithoutSupportAddress) {
  const std::string dir = ScratchFolder() + "\\App";
  const std::string exe = UniqueName("fatal") + ".exe";
  const std::string installer = Installer(dir, exe, "raise D1EB17CC \"Injected internal error\"", "", "");
  ASSERT_FALSE(installer.empty());
  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunProgram(installer, {"/a"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(static_cast<std::uint32_t>(run.exit_code), 0xD1EB17CCu) << run.output;

  const ShownWindow* dialog = Dialog(run);
  ASSERT_NE(dialog, nullptr);
  // The engine as shipped names no support address: "Inform Us" is disabled
  // and "Exit" answers the dialog.
  EXPECT_EQ(dialog->texts.at(0), Apology(""));
  EXPECT_EQ(dialog->disabled, (std::vector<std::string>{"Inform Us"}));
  EXPECT_EQ(dialog->pressed, "Exit");
  const std::string report = dialog->edits.at(0);
  EXPECT_EQ(report.rfind("Fatal error: Injected internal error\r\n\r\nProduct: Kestrelon Setup 46.0 Standard "
                         "Edition\r\nThread ID: ",
                         0),
            0u)
      << report;
  for (const char* absent : {"Exception code:", "\r\nAddress:", "Read/write:", "CPU Registers"}) {
    EXPECT_EQ(report.find(absent), std::string::npos) << absent;
  }
  const std::string log = ReadPrefixFile(dir + "\\Install.log").value_or("<no Install.log>");
  EXPECT_NE(log.find("\r\n\r\nINSTALLER CRASHED!\r\nFatal error: Injected internal error\r\n"), std::string::npos)
      << log;
}

TEST_F(SerialCrashReport, CodeMissingFromTheTableSentWithoutEmail) {
  LocalHttpServer server(true);
  ASSERT_NE(server.port(), 0);
  const std::string dir = ScratchFolder() + "\\App";
  const std::string exe = UniqueName("unknown") + ".exe";
  const std::string installer =
      Installer(dir, exe, "raise E0001234", kSupport, "http://127.0.0.1:" + std::to_string(server.port()) + "/f?x=1");
  ASSERT_FALSE(installer.empty());
  DriverOptions options;
  options.timeout_seconds = 120;
  options.presses = {"Inform Us"};
  const DriverRun run = RunProgram(installer, {"/a"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(static_cast<std::uint32_t>(run.exit_code), 0xE0001234u);
  const ShownWindow* dialog = Dialog(run);
  ASSERT_NE(dialog, nullptr);
  const std::string report = dialog->edits.at(0);
  EXPECT_EQ(report.rfind("Exception: \r\n\r\nProduct: ", 0), 0u) << report;
  EXPECT_EQ(LineValue(report, "Exception code: "), "E0001234");

  const std::vector<Received> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].request_line, "POST /f?x=1 HTTP/1.1");
  const std::string& body = requests[0].body;
  EXPECT_NE(body.find("name=\"body\"\r\n\r\n" + report + "\r\n--AaB03x\r\n"), std::string::npos) << body;
  EXPECT_NE(body.find("name=\"headers\"\r\n\r\nX-Tessarine-Internal: 2\r\n\r\n--AaB03x--\r\n"), std::string::npos)
      << body;
}

TEST_F(SerialCrashReport, TheUninstallerReportsItsCrashToo) {
  const std::string product = UniqueName("CrashUn");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\P";
  const std::string key = kUninstallKey + product;
  const std::string exe = UniqueName("uninstall") + ".exe";
  ASSERT_TRUE(WritePrefixFile(dir + "\\a.txt", "a"));
  ASSERT_TRUE(WritePrefixFile(dir + "\\Uninstall.DAT", dir + "\\a.txt\r\n"));
  ASSERT_TRUE(RegAddString(key, "InstallLocation", dir, RegView::k32));
  ASSERT_TRUE(RegAddString(key, "UninstallBatch1", InjectLine(exe, "write-0x10"), RegView::k32));
  std::ifstream in(EngineLinuxPath(), std::ios::binary);
  Bytes engine{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  SetAddresses(engine, kSupport, "http://127.0.0.1:9/unused");
  ASSERT_TRUE(WritePrefixFile(scratch + "\\" + exe, std::string(engine.begin(), engine.end())));

  DriverOptions options;
  options.timeout_seconds = 120;
  options.presses = {"Exit"};
  const DriverRun run = RunProgram(scratch + "\\" + exe, {"/u:" + product, "/a"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(static_cast<std::uint32_t>(run.exit_code), 0xC0000005u) << run.output;
  const ShownWindow* dialog = Dialog(run);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->texts.at(0), Apology(kSupport));
  EXPECT_EQ(dialog->pressed, "Exit");
  const std::string report = dialog->edits.at(0);
  EXPECT_EQ(report.rfind("Exception: Illegal memory access.\r\n", 0), 0u) << report;
  EXPECT_EQ(LineValue(report, "Command line: "), QuoteWindowsArg(scratch + "\\" + exe) + " /u:" + product + " /a");
  // The crash stopped the removal before it began.
  EXPECT_TRUE(PrefixFileExists(dir + "\\a.txt"));
  RunWine({"reg", "delete", key, "/f", "/reg:32"}, 60);
}

}  // namespace
}  // namespace ks::e2e
