// The binding to the I/O gateway plugin and the typed gateway calls.
//
// The plugin is loaded by name on the first gateway call and stays loaded until
// the process ends (unloading code that may have left a thread-local or a
// registered handler behind is not worth the risk).
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "dot11a/error.hpp"
#include "dot11a/instrument.hpp"
#include "io/gateway_abi.hpp"

#ifndef DOT11A_INSTALL_LIBDIR
#define DOT11A_INSTALL_LIBDIR ""
#endif

namespace dot11a {

namespace {

struct Plugin {
  HwioCallFn call = nullptr;
  HwioSetProgressFn setProgress = nullptr;  // null: the plugin reports no progress
  std::string path;
};

// The folder this library was loaded from.
std::string ownFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ownFolder), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

std::vector<std::string> candidates() {
  std::vector<std::string> list;
  if (const char* env = std::getenv("DOT11A_HWIO_PLUGIN"); env != nullptr && *env != '\0') {
    list.emplace_back(env);
    return list;  // an explicit choice is not second-guessed
  }
  if (std::string own = ownFolder(); !own.empty())
    list.push_back((std::filesystem::path(own) / kHwioPluginFile).string());
  if (std::string_view(DOT11A_INSTALL_LIBDIR).size() > 0)
    list.push_back((std::filesystem::path(DOT11A_INSTALL_LIBDIR) / kHwioPluginFile).string());
  list.emplace_back(kHwioPluginFile);  // the dynamic linker's search path
  return list;
}

const Plugin& plugin() {
  static std::mutex lock;
  static Plugin loaded;
  std::lock_guard guard(lock);
  if (loaded.call != nullptr) return loaded;
  std::string problems;
  for (const std::string& path : candidates()) {
    const bool isPath = path.find('/') != std::string::npos;
    if (isPath && !std::filesystem::exists(path)) continue;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* err = dlerror();
      problems += "\n  " + (err != nullptr ? std::string(err) : path);
      continue;
    }
    auto version = reinterpret_cast<HwioVersionFn>(dlsym(handle, kHwioVersionSymbol));
    auto call = reinterpret_cast<HwioCallFn>(dlsym(handle, kHwioCallSymbol));
    if (version == nullptr || call == nullptr || version() != kHwioAbiVersion) {
      problems += "\n  " + path + ": not a compatible instrument I/O gateway";
      dlclose(handle);
      continue;
    }
    loaded.call = call;
    loaded.setProgress = reinterpret_cast<HwioSetProgressFn>(dlsym(handle, kHwioProgressSymbol));
    loaded.path = path;
    return loaded;
  }
  raise("The instrument I/O gateway (" + std::string(kHwioPluginFile) +
        ") could not be loaded. Install it beside the library or name it in "
        "DOT11A_HWIO_PLUGIN." +
        (problems.empty() ? std::string() : "\nTried:" + problems));
}

IoResult toResult(const std::vector<Value>& out) {
  IoResult r;
  if (!out.empty() && out[0].isNumeric() && !out[0].isEmpty())
    r.status = out[0].toScalar();
  else
    r.status = gateway_status::kBadInput;
  if (out.size() > 1 && out[1].isText()) r.response = out[1].str();
  return r;
}

std::vector<Value> twoOutputs(GatewayCode code, std::vector<Value> rest) {
  rest.insert(rest.begin(), Value::int32(static_cast<std::int32_t>(code)));
  return callGateway(2, rest);
}

}  // namespace

std::string gatewayPluginName() {
  return plugin().path;
}

namespace {

// Passes the plugin's progress reports on; nothing may escape into the plugin.
void reportProgress(void* context, unsigned long long sent, unsigned long long total) {
  try {
    (*static_cast<const TransferProgress*>(context))(sent, total);
  } catch (...) {
    // A listener that fails loses its reports; the transfer goes on.
  }
}

// Sets the plugin's progress listener for one call and clears it after.
class ProgressScope {
 public:
  ProgressScope(const Plugin& p, const TransferProgress* progress)
      : set_(progress && *progress ? p.setProgress : nullptr) {
    if (set_) set_(reportProgress, const_cast<TransferProgress*>(progress));
  }
  ~ProgressScope() {
    if (set_) set_(nullptr, nullptr);
  }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  HwioSetProgressFn set_;
};

std::vector<Value> callGatewayWith(int nargout, std::span<const Value> inputs,
                                   const TransferProgress* progress) {
  const Plugin& p = plugin();
  // One instrument conversation at a time: a connection check running on a
  // worker thread finishes before a download starts, so the two never share
  // a port or interleave commands.
  static std::mutex conversation;
  std::lock_guard guard(conversation);
  ProgressScope listening(p, progress);
  std::vector<Value> outputs(static_cast<std::size_t>(std::max(nargout, 0)));
  char message[2048] = {0};
  const int rc = p.call(nargout, outputs.data(), static_cast<int>(inputs.size()), inputs.data(),
                        message, sizeof message);
  if (rc != 0) raise(message[0] != '\0' ? message : "The instrument I/O gateway failed.");
  return outputs;
}

}  // namespace

std::vector<Value> callGateway(int nargout, std::span<const Value> inputs) {
  return callGatewayWith(nargout, inputs, nullptr);
}

IoResult hwPing(const Value& config) {
  return toResult(twoOutputs(GatewayCode::Ping, {formatConfig(config)}));
}

IoResult hwSend(const Value& config, std::string_view command) {
  return toResult(twoOutputs(GatewayCode::Send, {formatConfig(config), Value(command)}));
}

IoResult hwQuery(const Value& config, std::string_view query) {
  return toResult(twoOutputs(GatewayCode::Query, {formatConfig(config), Value(query)}));
}

IoResult hwDownload(const Value& config, const Value& data, const Value& markers,
                    std::string_view name, const TransferProgress& progress) {
  const Value in[] = {Value::int32(static_cast<std::int32_t>(GatewayCode::Download)),
                      formatConfig(config),
                      data,
                      markers,
                      Value("norm"),
                      Value(1.0),
                      Value(name)};
  return toResult(callGatewayWith(2, in, &progress));
}

IoResult hwReturnLocal(const Value& config) {
  return toResult(twoOutputs(GatewayCode::ReturnLocal, {formatConfig(config)}));
}

}  // namespace dot11a
