#include "platform/core/modules.h"

#include "platform/core/errors.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win {
namespace {

struct Export {
  std::string name;
  WORD ordinal = 0;
  FARPROC proc = nullptr;
  bool hidden = false;
};

struct Module {
  std::string name;
  std::vector<Export> exports;
};

struct ModuleTable {
  std::mutex mutex;
  std::vector<std::unique_ptr<Module>> modules;  // stable addresses: a module's address is its handle
};

ModuleTable& Table() {
  static ModuleTable table;
  return table;
}

std::string ModuleKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (!key.ends_with(".dll")) key += ".dll";
  return key;
}

Module* FindModuleLocked(ModuleTable& table, std::string_view name) {
  const std::string key = ModuleKey(name);
  for (const auto& module : table.modules)
    if (module->name == key) return module.get();
  return nullptr;
}

Export* FindExportLocked(Module& module, WORD ordinal, std::string_view name) {
  for (Export& entry : module.exports)
    if ((ordinal != 0 && entry.ordinal == ordinal) || (ordinal == 0 && !name.empty() && entry.name == name))
      return &entry;
  return nullptr;
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  Module* module = FindModuleLocked(table, name);
  if (module == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return reinterpret_cast<HMODULE>(module);
}

HMODULE LoadLibraryA(LPCSTR name) { return GetModuleHandleA(name); }

FARPROC GetProcAddress(HMODULE handle, LPCSTR name) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  Module* module = nullptr;
  for (const auto& candidate : table.modules)
    if (reinterpret_cast<HMODULE>(candidate.get()) == handle) module = candidate.get();
  const auto value = reinterpret_cast<UINT_PTR>(name);
  Export* entry = nullptr;
  if (module != nullptr && name != nullptr)
    entry = value <= 0xFFFF ? FindExportLocked(*module, static_cast<WORD>(value), {})
                            : FindExportLocked(*module, 0, name);
  if (entry == nullptr || entry->hidden) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return entry->proc;
}

namespace {
Module* FindOrAddModuleLocked(ModuleTable& table, std::string_view name) {
  if (Module* module = FindModuleLocked(table, name)) return module;
  table.modules.push_back(std::make_unique<Module>(Module{ModuleKey(name), {}}));
  return table.modules.back().get();
}
}  // namespace

void RegisterModule(std::string_view module_name) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  FindOrAddModuleLocked(table, module_name);
}

void RegisterModuleExport(std::string_view module_name, std::string_view name, WORD ordinal, FARPROC proc) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  Module* module = FindOrAddModuleLocked(table, module_name);
  if (Export* existing = FindExportLocked(*module, ordinal, name)) {
    existing->proc = proc;
    return;
  }
  module->exports.push_back(Export{std::string(name), ordinal, proc, false});
}

void SetModuleExportHiddenForTesting(std::string_view module_name, WORD ordinal, bool hidden) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (Module* module = FindModuleLocked(table, module_name))
    if (Export* entry = FindExportLocked(*module, ordinal, {})) entry->hidden = hidden;
}

}  // namespace win
