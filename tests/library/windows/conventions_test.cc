// The calling conventions of the 32-bit DLL, measured rather than trusted:
// every export and every operation of the extension object is called through
// a stack probe that counts the bytes the callee takes off the stack, and the
// declarations of vorn_ulo.h are used in loops of thousands of calls with the
// stack pointer compared around them. A caller and a callee that disagree
// can run on silently for a while; the byte count catches them every time.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/loaded_library.h"
#include "vorn_ulo.h"

extern "C" int32_t ulo_probe_call(void* function, void* ecx, int32_t count, const int32_t* args,
                                  int32_t* result);

namespace {

#if defined(ULO_WIN32_STDCALL)
constexpr bool kStdcall = true;
#else
constexpr bool kStdcall = false;
#endif

// What the callee removes: nothing for __cdecl, all of it for __stdcall.
constexpr int32_t ExportPops(int32_t arguments) {
  return kStdcall ? 4 * arguments : 0;
}

int32_t Arg(const void* pointer) {
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer));
}

struct Probed {
  int32_t popped;
  int32_t result;
};

Probed Probe(void* function, void* ecx, const std::vector<int32_t>& args) {
  Probed probed{0, 0};
  probed.popped =
      ulo_probe_call(function, ecx, static_cast<int32_t>(args.size()), args.data(), &probed.result);
  return probed;
}

// Calls operation `slot` of `object`, as the DLL's convention has it: the
// object in ECX (__thiscall) or as the first stack argument (__stdcall, with
// a wrong ECX so that a callee reading it would fail). `popped` counts the
// stack arguments only, the object included where it is one.
Probed ProbeSlot(ExtensionModule* object, int slot, std::vector<int32_t> args) {
  void* function = (*reinterpret_cast<void***>(object))[slot];
  if (!kStdcall) return Probe(function, object, args);
  args.insert(args.begin(), Arg(object));
  return Probe(function, reinterpret_cast<void*>(0x11), args);
}

constexpr int32_t MethodPops(int32_t arguments) {
  return kStdcall ? 4 * (arguments + 1) : 4 * arguments;
}

// ESP read where the compiler cannot move it.
__attribute__((always_inline)) inline uintptr_t StackPointer() {
  uintptr_t esp;
  asm volatile("movl %%esp, %0" : "=r"(esp));
  return esp;
}

// A command buffer with the signature and a name no command has.
std::string UnknownCommand() {
  std::string bytes(9, '\0');
  bytes[4] = 'r';
  bytes[5] = '!';
  return bytes + "ULO_Nothing" + '\0';
}

int __cdecl PlainSum(int a, int b) {
  return a + b;
}
int __stdcall CalleePopsSum(int a, int b) {
  return a + b;
}

TEST(StackProbeTest, MeasuresKnownConventions) {
  Probed callerPops = Probe(reinterpret_cast<void*>(&PlainSum), nullptr, {2, 3});
  EXPECT_EQ(callerPops.result, 5);
  EXPECT_EQ(callerPops.popped, 0);
  Probed calleePops = Probe(reinterpret_cast<void*>(&CalleePopsSum), nullptr, {2, 3});
  EXPECT_EQ(calleePops.result, 5);
  EXPECT_EQ(calleePops.popped, 8);
}

class ConventionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.loaded()) << library.error(); }

  void* Export(const char* name) {
    void* found = library.Find(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  ulo::testing::LoadedLibrary library;
};

TEST_F(ConventionTest, EveryExportRemovesWhatItsConventionSays) {
  // Arguments that each export refuses at once, so nothing is written.
  struct Case {
    const char* name;
    std::initializer_list<int32_t> args;
    int32_t result;
    bool boolean;
  };
  const Case cases[] = {
      {"ULO_Filtrate", {0, 0, 1}, 0, true},
      {"ULO_GetTopNWordSupportRec", {0, 0, 0}, 0, true},
      {"ULO_GetWordSupportRec", {0, 0}, 0, true},
      {"ULO_MulMergeFile", {0, 0}, -1, false},
      {"ULO_Stat_AssociatedFreq", {0, 0, 1, 0}, 0, true},
      {"ULO_Stat_AssociatedFreq_Begin", {0}, 0, true},
      {"ULO_Stat_AssociatedFreq_End", {}, 1, false},
      {"VornModule_CreateInstance", {0, 0}, 0, false},
  };
  for (const Case& c : cases) {
    void* function = Export(c.name);
    if (function == nullptr) continue;
    Probed probed = Probe(function, reinterpret_cast<void*>(0x11), c.args);
    EXPECT_EQ(probed.popped, ExportPops(static_cast<int32_t>(c.args.size()))) << c.name;
    EXPECT_EQ(c.boolean ? (probed.result & 0xFF) : probed.result, c.result) << c.name;
  }
}

TEST_F(ConventionTest, EveryOperationTakesTheObjectAndRemovesWhatItsConventionSays) {
  ExtensionModule* object = nullptr;
  void* create = Export("VornModule_CreateInstance");
  ASSERT_NE(create, nullptr);
  Probed made = Probe(create, nullptr, {7, Arg(&object)});
  ASSERT_EQ(made.result, 0);
  ASSERT_NE(object, nullptr);

  const std::string unknown = UnknownCommand();
  const std::string unsigned_(16, 'x');
  int32_t value = 0;

  Probed a = ProbeSlot(object, 1, {});
  EXPECT_EQ(a.popped, MethodPops(0)) << "ReservedA";
  // Execute reads the buffer through the object it was given: a wrong
  // object or argument order gives another status or a crash.
  Probed run = ProbeSlot(object, 2, {Arg(unknown.data()), 0, Arg(&value), 0});
  EXPECT_EQ(run.popped, MethodPops(4)) << "Execute";
  EXPECT_EQ(run.result, ULO_STATUS_UNKNOWN_COMMAND);
  run = ProbeSlot(object, 2, {Arg(unsigned_.data()), 0, 0, 0});
  EXPECT_EQ(run.result, ULO_STATUS_NO_SIGNATURE);
  Probed b = ProbeSlot(object, 3, {});
  EXPECT_EQ(b.popped, MethodPops(0)) << "ReservedB";
  EXPECT_EQ(b.result & 0xFF, 1);
  EXPECT_EQ(ProbeSlot(object, 4, {5}).popped, MethodPops(1)) << "ReservedC";
  Probed d = ProbeSlot(object, 5, {5});
  EXPECT_EQ(d.popped, MethodPops(1)) << "ReservedD";
  EXPECT_EQ(d.result & 0xFF, 1);
  EXPECT_EQ(ProbeSlot(object, 6, {5}).popped, MethodPops(1)) << "ReservedE";
  EXPECT_EQ(ProbeSlot(object, 7, {0x1234}).popped, MethodPops(1)) << "SetHostValue";
  EXPECT_EQ(ProbeSlot(object, 0, {}).popped, MethodPops(0)) << "Release";
}

// Thousands of calls through the header's declarations, as a host compiled
// against it makes them. Not inlined, so that the stack pointer is read in
// one frame around the whole loop.
__attribute__((noinline)) uintptr_t DriftOfExportCalls(const ulo::testing::LoadedLibrary& library,
                                                       int calls, long* sum) {
  auto filtrate = reinterpret_cast<decltype(&ULO_Filtrate)>(library.Find("ULO_Filtrate"));
  auto merge = reinterpret_cast<decltype(&ULO_MulMergeFile)>(library.Find("ULO_MulMergeFile"));
  auto pair =
      reinterpret_cast<decltype(&ULO_Stat_AssociatedFreq)>(library.Find("ULO_Stat_AssociatedFreq"));
  auto end = reinterpret_cast<decltype(&ULO_Stat_AssociatedFreq_End)>(
      library.Find("ULO_Stat_AssociatedFreq_End"));
  uintptr_t before = StackPointer();
  for (int i = 0; i < calls; ++i) {
    *sum +=
        filtrate(nullptr, nullptr, i) + merge(nullptr, nullptr) + pair(nullptr, "b", i, 0) + end();
  }
  uintptr_t after = StackPointer();
  return before - after;
}

__attribute__((noinline)) uintptr_t DriftOfOperationCalls(ExtensionModule* object, int calls,
                                                          long* sum) {
  const std::string unknown = UnknownCommand();
  int32_t value = 0;
  const ExtensionModuleVtbl* table = *reinterpret_cast<const ExtensionModuleVtbl* const*>(object);
  uintptr_t before = StackPointer();
  for (int i = 0; i < calls; ++i) {
    // The C++ interface, then the table as C hosts call it.
    *sum += object->Execute(unknown.data(), i, &value, i) + object->ReservedD(i);
    object->SetHostValue(i);
    *sum += table->Execute(ULO_SELF(object), unknown.data(), i, &value, i) +
            table->ReservedB(ULO_SELF(object));
    table->ReservedC(ULO_SELF(object), i);
  }
  uintptr_t after = StackPointer();
  return before - after;
}

TEST_F(ConventionTest, ThousandsOfCallsLeaveTheStackPointerWhereItWas) {
  constexpr int kCalls = 5000;
  long sum = 0;
  EXPECT_EQ(DriftOfExportCalls(library, kCalls, &sum), 0u);
  EXPECT_EQ(sum, kCalls * (0 - 1 + 0 + 1));

  auto create = reinterpret_cast<decltype(&VornModule_CreateInstance)>(
      library.Find("VornModule_CreateInstance"));
  ASSERT_NE(create, nullptr);
  ExtensionModule* object = nullptr;
  ASSERT_EQ(create(0, &object), 0);
  sum = 0;
  EXPECT_EQ(DriftOfOperationCalls(object, kCalls, &sum), 0u);
  EXPECT_EQ(sum, static_cast<long>(kCalls) * 2 * (ULO_STATUS_UNKNOWN_COMMAND + 1));
  object->Release();
}

}  // namespace
