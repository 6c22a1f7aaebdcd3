#include <gtest/gtest.h>

#include <string>

#include "crash/crash_report.h"
#include "crash/exception_texts.h"
#include "crash/report_form.h"

namespace ks {
namespace {

ProcessorContext Registers32() {
  ProcessorContext c;
  c.flags = 0x10246;
  c.ax = 0x11, c.bx = 0x22, c.cx = 0x33, c.dx = 0x44, c.di = 0x55, c.si = 0x66;
  c.ip = 0x7C80ABCD, c.bp = 0x0012FF00, c.sp = 0x0012FE00;
  c.cs = 0x23, c.ds = 0x2B, c.es = 0x2B, c.fs = 0x53, c.gs = 0x2B, c.ss = 0x2B;
  return c;
}

ProcessFacts Facts() {
  ProcessFacts f;
  f.version = "46.0";
  f.thread_id = 412;
  f.main_thread_id = 36;
  f.running_time = 123456789;  // 12.345 s
  f.kernel_time = 156250;
  f.user_time = 20000000;
  f.os = "Windows 10 Pro";
  f.ie = "11.0.19041.1";
  f.language = "English";
  f.code_page = 1252;
  f.locale = 0x409;
  f.command_line = "  \"C:\\Temp\\setup.exe\" /a \r\n";
  f.modules = std::vector<CrashModule>{{0x400000, 0x1BC000, "C:\\Temp\\setup.exe"},
                                       {0x7C800000, 0xF6000, "C:\\windows\\system32\\kernel32.dll"}};
  f.stack = {{0x7C80ABCD, 0x0012FF00, "RtlInitializeSListHead"}, {0x00401234, 0x0012FF40, ""}};
  return f;
}

CrashRecord AccessViolation() {
  CrashRecord r;
  r.code = 0xC0000005;
  r.address = 0x7C80ABCD;
  r.access = MemoryAccess::kWrite;
  r.memory_address = 0x10;
  r.context = Registers32();
  return r;
}

TEST(CrashReport, AccessViolationInTheShippedEngine) {
  const std::string expected =
      "Exception: Illegal memory access.\r\n"
      "\r\nProduct: Kestrelon Setup 46.0 Standard Edition\r\n"
      "Exception code: C0000005\r\nAddress: 7C80ABCD\r\n"
      "Module: kernel32.dll\r\n"
      "Read/write: write\r\nMemory address: 00000010\r\n"
      "Thread ID: 412  Main Thread: 36\r\n"
      "Process/kernel/user time: 12.345 / 0.015 / 2.000\r\n"
      "OS: Windows 10 Pro\r\n"
      "IE: 11.0.19041.1\r\n"
      "Language: English  Codepage: 1252\r\n"
      "Locale: 0x00000409\r\n"
      "Command line: \"C:\\Temp\\setup.exe\" /a\r\n"
      "\r\nCPU Registers:\r\nFlags: 00010246"
      "\r\n  EAX: 00000011\r\n  EBX: 00000022\r\n  ECX: 00000033\r\n  EDX: 00000044"
      "\r\n  EDI: 00000055\r\n  ESI: 00000066\r\n  EIP: 7C80ABCD\r\n  EBP: 0012FF00\r\n  ESP: 0012FE00"
      "\r\n   CS: 00000023\r\n   DS: 0000002B\r\n   ES: 0000002B\r\n   FS: 00000053\r\n   GS: 0000002B"
      "\r\n   SS: 0000002B"
      "\r\n\r\nModules:\r\n"
      "00400000 005BBFFF C:\\Temp\\setup.exe\r\n"
      "7C800000 7C8F5FFF C:\\windows\\system32\\kernel32.dll\r\n"
      "\r\nCall Stack:\r\n"
      "7C80ABCD 0012FF00 RtlInitializeSListHead\r\n"
      "00401234 0012FF40 \r\n";
  EXPECT_EQ(BuildCrashReport(AccessViolation(), Facts()), expected);
}

TEST(CrashReport, FatalErrorFormHasNoCodeAddressOrRegisters) {
  CrashRecord r;
  r.code = kFatalErrorCode;
  r.address = 0x401000;
  r.context = Registers32();  // present, yet not reported
  r.fatal_message = "Internal Fatal Error\r\nModule: array.h\r\nLine: 42";
  ProcessFacts f = Facts();
  f.earlier_out_of_memory = true;
  const std::string report = BuildCrashReport(r, f);
  EXPECT_EQ(report.rfind("Fatal error: Internal Fatal Error\r\nModule: array.h\r\nLine: 42\r\n\r\nProduct: ", 0), 0u)
      << report;
  for (const char* absent : {"Exception code:", "Address:", "Module: kernel32", "Read/write:", "CPU Registers", "EAX"}) {
    EXPECT_EQ(report.find(absent), std::string::npos) << absent;
  }
  EXPECT_NE(report.find("Locale: 0x00000409\r\nA previous out-of-memory condition occurred.\r\nCommand line: "),
            std::string::npos);
  EXPECT_NE(report.find("/a\r\n\r\n\r\nModules:\r\n"), std::string::npos);
}

TEST(CrashReport, EarlierOutOfMemoryIsNotRepeatedForItself) {
  CrashRecord r;
  r.code = kFatalErrorCode;
  r.fatal_message = "Out Of Memory\r\nSize: 1073741824";
  ProcessFacts f = Facts();
  f.earlier_out_of_memory = true;
  EXPECT_EQ(BuildCrashReport(r, f).find(kEarlierOutOfMemoryLine), std::string::npos);
  // Any other crash after one mentions it; none without one.
  EXPECT_NE(BuildCrashReport(AccessViolation(), f).find(kEarlierOutOfMemoryLine), std::string::npos);
  f.earlier_out_of_memory = false;
  EXPECT_EQ(BuildCrashReport(AccessViolation(), f).find(kEarlierOutOfMemoryLine), std::string::npos);
}

TEST(CrashReport, CodesOutsideTheTableHaveNoText) {
  CrashRecord r;
  r.code = 0xE0001234;
  r.address = 0x401000;
  r.context = Registers32();
  const std::string report = BuildCrashReport(r, Facts());
  EXPECT_EQ(report.rfind("Exception: \r\n\r\nProduct: ", 0), 0u) << report;
  EXPECT_NE(report.find("Exception code: E0001234\r\nAddress: 00401000\r\nModule: setup.exe\r\nThread ID: "),
            std::string::npos);
  EXPECT_EQ(report.find("Read/write:"), std::string::npos);
}

TEST(CrashReport, ExceptionTexts) {
  const struct {
    std::uint32_t code;
    const char* text;
  } cases[] = {
      {0xC0000005, "Illegal memory access."},
      {0xC00000FD, "Stack overflow."},
      {0x80000001, "Memory Allocated as PAGE_GUARD by VirtualAlloc() was accessed."},
      {0x8007000E, "Out of memory."},
      {0xE06D7363, "Visual C++ structured exception handling."},
      {0xC0000000, ""},
      {0xFFFFFFFF, ""},
  };
  for (const auto& c : cases) EXPECT_STREQ(ExceptionText(c.code), c.text) << std::hex << c.code;
}

TEST(CrashReport, WithoutModulesOrDebuggingHelp) {
  ProcessFacts f = Facts();
  f.modules.reset();
  f.stack.clear();
  f.ie.clear();
  f.command_line = " \t";
  f.office = "16.0";
  f.office_details = "C:\\Program Files\\Microsoft Office\\root\\Office16\\";
  const std::string report = BuildCrashReport(AccessViolation(), f);
  EXPECT_NE(report.find("Address: 7C80ABCD\r\nRead/write: write\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("IE: \r\nOffice: 16.0 (C:\\Program Files\\Microsoft Office\\root\\Office16\\)\r\nLanguage: "),
            std::string::npos);
  EXPECT_EQ(report.find("Command line:"), std::string::npos);
  EXPECT_EQ(report.find("Modules:"), std::string::npos);
  const std::string tail = "   SS: 0000002B\r\nCall Stack:\r\n";
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST(CrashReport, TheX86_64BuildReportsWideRegistersAndAddresses) {
  CrashRecord r = AccessViolation();
  r.address = 0x00007FFA12345678;
  ProcessorContext c = Registers32();
  c.wide = true;
  c.ax = 0x1122334455667788;
  c.r8_to_r15 = {8, 9, 10, 11, 12, 13, 14, 15};
  r.context = c;
  ProcessFacts f = Facts();
  f.address_digits = 16;
  f.modules = std::vector<CrashModule>{{0x00007FFA12300000, 0x100000, "C:\\windows\\system32\\ntdll.dll"}};
  f.stack.clear();
  const std::string report = BuildCrashReport(r, f);
  EXPECT_NE(report.find("Exception code: C0000005\r\nAddress: 00007FFA12345678\r\nModule: ntdll.dll\r\n"
                        "Read/write: write\r\nMemory address: 0000000000000010\r\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("Flags: 00010246\r\n  RAX: 1122334455667788\r\n  RBX: 0000000000000022"), std::string::npos);
  EXPECT_NE(report.find("  RSP: 000000000012FE00\r\n   R8: 0000000000000008\r\n   R9: 0000000000000009\r\n"
                        "  R10: 000000000000000A"),
            std::string::npos);
  EXPECT_NE(report.find("  R15: 000000000000000F\r\n   CS: 00000023"), std::string::npos);
  EXPECT_NE(report.find("00007FFA12300000 00007FFA123FFFFF C:\\windows\\system32\\ntdll.dll\r\n"), std::string::npos);
}

TEST(CrashReport, Numbers) {
  EXPECT_EQ(HexDigits(0xABC, 8), "00000ABC");
  EXPECT_EQ(HexDigits(0xFFFFFFFFFFFFFFFF, 16), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(SecondsText(0), "0.000");
  EXPECT_EQ(SecondsText(10000), "0.001");
  EXPECT_EQ(SecondsText(36000000000), "3600.000");
  const std::vector<CrashModule> modules = {{0x1000, 0x1000, "a/b\\one.dll"}, {0x3000, 0x10, "two"}};
  EXPECT_EQ(ModuleNameAt(modules, 0x1FFF), "one.dll");
  EXPECT_EQ(ModuleNameAt(modules, 0x2000), "");
  EXPECT_EQ(ModuleNameAt(modules, 0x300F), "two");
}

// ---- the report's form ---------------------------------------------------------

TEST(ReportForm, SubjectHeadersAndBody) {
  EXPECT_EQ(ReportSubject("46.0", "setup.exe"), "Exception - Installer 46.0: setup.exe");
  EXPECT_EQ(ReportHeaders(""), "X-Tessarine-Internal: 2\r\n");
  EXPECT_EQ(ReportHeaders("  \t "), "X-Tessarine-Internal: 2\r\n");
  EXPECT_EQ(ReportHeaders(" ann@example.com "),
            "X-Tessarine-Internal: 2\r\nX-Exception-Email: ann@example.com\r\nReply-To: ann@example.com\r\n");
  // A line break in the address cannot add a header line of its own.
  EXPECT_EQ(ReportHeaders("a@b.c\r\nBcc: x@y.z"),
            "X-Tessarine-Internal: 2\r\nX-Exception-Email: a@b.cBcc: x@y.z\r\nReply-To: a@b.cBcc: x@y.z\r\n");

  EXPECT_EQ(ReportBody("REPORT\r\n", {"", ""}), "REPORT\r\n");
  EXPECT_EQ(ReportBody("REPORT\r\n", {"ann@example.com", ""}), "REPORT\r\n\r\nEmail: ann@example.com\r\n");
  EXPECT_EQ(ReportBody("REPORT\r\n", {"ann@example.com", "Clicked Next.\r\nThen it closed."}),
            "REPORT\r\n\r\nEmail: ann@example.com\r\nClicked Next.\r\nThen it closed.");
  EXPECT_EQ(ReportBody("REPORT\r\n", {"", "only comments"}), "REPORT\r\nonly comments");
}

TEST(ReportForm, MultipartFieldsInOrder) {
  EXPECT_EQ(ReportForm("support@maker.example", "B\r\nODY", "S", "H\r\n"),
            "--AaB03x\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nsupport@maker.example\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"body\"\r\n\r\nB\r\nODY\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"subject\"\r\n\r\nS\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"headers\"\r\n\r\nH\r\n\r\n"
            "--AaB03x--\r\n");
  EXPECT_STREQ(kReportContentType, "Content-Type: multipart/form-data; boundary=AaB03x\r\n");
}

TEST(ReportForm, Apology) {
  EXPECT_EQ(ApologyText("help@maker.example"),
            "We apologize for the inconvenience, but the program has performed an illegal operation and must close.  "
            "Please report this problem to help@maker.example by clicking the \"Inform Us\" button below.");
}

}  // namespace
}  // namespace ks
