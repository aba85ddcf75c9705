// The TriCore target selection: CPU, core, execution mode, FPU and MMU, and the
// CPU functional-defect checks.
#include <cstring>
#include <string>
#include <strings.h>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "driver/c-opt.h"
#include "util/StringBuffer.h"

using namespace opt;

namespace {

struct CoreEntry {
  uint32_t record;
  const char* name;
  bool TriCoreOptions::*flag;
};

// In this order: the first core given decides, whatever the command-line order.
const CoreEntry kCores[] = {
    {TC13, "TC1V1.3", &TriCoreOptions::coreTc13},
    {TC131, "TC1V1.3.1", &TriCoreOptions::coreTc131},
    {TC16, "TC1V1.6", &TriCoreOptions::coreTc16},
    {TC16X, "TC1V1.6.X", &TriCoreOptions::coreTc16x},
};

bool given(uint32_t id) { return opt_count(id) > 0; }

}  // namespace

const DefectSelection kDefectSelections[] = {
    {TC013, "__CPU_TC013__", 0},    {TC048, "__CPU_TC048__", 9},
    {TC051, "__CPU_TC051__", 11},   {TC060, "__CPU_TC060__", 12},
    {TC065, "__CPU_TC065__", 13},   {TC068, "__CPU_TC068__", 14},
    {TC069, "__CPU_TC069__", 15},   {TC070, "__CPU_TC070__", 16},
    {TC071, "__CPU_TC071__", 17},   {TC072, "__CPU_TC072__", 18},
    {TC074, "__CPU_TC074__", 19},   {TC081, "__CPU_TC081__", 20},
    {TC082, "__CPU_TC082__", 21},   {TC083, "__CPU_TC083__", 22},
    {TC094, "__CPU_TC094__", 23},   {TC095, "__CPU_TC095__", 24},
    {TC096, "__CPU_TC096__", 25},   {TC104, "__CPU_TC104__", 26},
    {TC105, "__CPU_TC105__", 27},   {TC106, "__CPU_TC106__", 28},
    {TC108, "__CPU_TC108__", 29},   {TC109, "__CPU_TC109__", 30},
    {TC116, "__CPU_TC116__", 31},   {DMU1, "__DMU_TC001__", 32},
    {PMI3, "__PMI_TC003__", 33},    {PMU4, "__PMU_TC004__", 34},
    {CPU13, "__TC113_CPU13__", 38}, {CPU15, "__TC113_CPU15__", 39},
    {TC048, "__TC113_CPU16__", 9},  {DMU1, "__TC113_DMU1__", 32},
    {LFI2, "__TC113_LFI2__", 40},   {LFI3, "__TC113_LFI3__", 41},
    {PMU4, "__TC113_PMU1__", 34},   {PMI3, "__TC113_PMU3__", 33},
};
const uint32_t kDefectSelectionCount = sizeof(kDefectSelections) / sizeof(kDefectSelections[0]);

TriCoreOptions::TriCoreOptions(int argc, char** argv) : OrbaOptions(argc, argv) { targetSelected = true; }

TriCoreOptions::~TriCoreOptions() = default;

int TriCoreOptions::process() {
  int failed = OrbaOptions::process();

  const char* cpuText = opt_get_string(CPU_TRICORE);
  if (given(CPU_TRICORE) || (cpuText && *cpuText)) {
    cpuName = cpuText ? cpuText : "";
    cpuId = cpuNameToId(cpuName);
    errorHandler()->reportWithoutLocation(W_cpu_deprecated);
  } else {
    cpuName = cpuIdToName(cpuId);
  }

  coreName = "TC1V1.3";
  bool TriCoreOptions::*coreFlag = &TriCoreOptions::coreTc13;
  if (given(CORE)) {
    for (const CoreEntry& core : kCores) {
      if (given(core.record)) {
        coreName = core.name;
        coreFlag = core.flag;
        break;
      }
    }
  }
  this->*coreFlag = true;

  if (given(NOZELKOVASFR)) errorHandler()->reportWithoutLocation(W_no_zelkova_sfr);
  if (given(ZELKOVASFR)) errorHandler()->reportWithoutLocation(W_zelkovasfr_deprecated);
  if (given(FPU)) errorHandler()->reportWithoutLocation(W_fpu_present);

  if (given(CPU_TRICORE) && given(ZELKOVASFR)) {
    std::string registers = std::string("sfr/reg") + cpuName + ".def";
    includeFiles.push_back(stringBuffer()->intern(registers.c_str()));
  }

  userMode1 = opt_get_bool(UM_USER1);
  kernelMode = opt_get_bool(UM_KERNEL);
  // The CPU rules compare the name with case, unlike the CPU table.
  mmuPresent = given(MMU) || std::strcmp(cpuName, "tc11ib") == 0 ||
               std::strcmp(cpuName, "tc1130") == 0;
  if (given(NOFPU) || std::strcmp(cpuName, "tc11ib") == 0) fpuPresent = false;
  warnAccessInterruptEnable = opt_get_bool(ACCESS_IE);

  for (uint32_t i = 0; i < kDefectSelectionCount; ++i)
    if (given(kDefectSelections[i].record)) defectMacros.push_back(kDefectSelections[i].macro);
  return failed;
}
