// The one file that uses OpenSSL's ENGINE interface, deprecated in 3.0 and
// still the only way to the pkcs11 engine: it is built with the older API.
#include "sign/Pkcs11Key.h"

#include <openssl/engine.h>
#include <openssl/ui.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace mocfsign {

namespace {

const char kProxy[] = "/usr/lib/x86_64-linux-gnu/p11-kit-proxy.so";

std::string ModulePath() {
  if (const char* pModule = std::getenv("MOCF_PKCS11_MODULE")) return pModule;
  std::error_code ec;
  return std::filesystem::exists(kProxy, ec) ? kProxy : "";
}

// The engine, loaded and initialised once for the process and kept: it is
// OpenSSL's state, not ours. Null, with OpenSSL's words, when it cannot be.
struct Engine_t {
  ENGINE* pEngine = nullptr;
  std::string Why;
  std::mutex Login;  // the engine holds one PIN at a time
};

Engine_t& TheEngine() {
  static Engine_t engine;
  static std::once_flag once;
  std::call_once(once, [] {
    ENGINE* pEngine = ENGINE_by_id("pkcs11");
    // A library prints nothing: the engine's own words go too.
    if (pEngine) ENGINE_ctrl_cmd_string(pEngine, "QUIET", nullptr, 0);
    const std::string module = ModulePath();
    if (pEngine && !module.empty() &&
        !ENGINE_ctrl_cmd_string(pEngine, "MODULE_PATH", module.c_str(), 0)) {
      ENGINE_free(pEngine);
      pEngine = nullptr;
    }
    if (pEngine && !ENGINE_init(pEngine)) {
      ENGINE_free(pEngine);
      pEngine = nullptr;
    }
    if (pEngine) ENGINE_free(pEngine);  // the functional reference ENGINE_init took stays
    engine.pEngine = pEngine;
    if (!pEngine) engine.Why = OpenSslWords();
  });
  return engine;
}

// A UI that answers nothing, so that the engine never asks the terminal.
int NoAnswer(UI*, UI_STRING*) { return 0; }

UI_METHOD* NoPrompt() {
  static UI_METHOD* pMethod = [] {
    UI_METHOD* pNew = UI_create_method("mocfsign: no prompt");
    if (pNew) UI_method_set_reader(pNew, NoAnswer);
    return pNew;
  }();
  return pMethod;
}

bool SetPin(ENGINE* pEngine, const char* pPin) {
  const int command = ENGINE_ctrl(pEngine, ENGINE_CTRL_GET_CMD_FROM_NAME, 0,
                                  const_cast<char*>("PIN"), nullptr);
  return command > 0 && ENGINE_ctrl(pEngine, command, 0, const_cast<char*>(pPin), nullptr) > 0;
}

}  // namespace

bool IsPkcs11Uri(const std::string& key) { return key.rfind("pkcs11:", 0) == 0; }

Key LoadPkcs11Key(const std::string& uri, const std::string& pin, std::string* pWhy) {
  ERR_clear_error();
  Engine_t& engine = TheEngine();
  if (!engine.pEngine) {
    *pWhy = "cannot load OpenSSL's pkcs11 engine: " + engine.Why + "\n";
    return nullptr;
  }
  const std::lock_guard<std::mutex> hold(engine.Login);
  if (!pin.empty() && !SetPin(engine.pEngine, pin.c_str())) {
    *pWhy = "cannot give the pkcs11 engine its PIN: " + OpenSslWords() + "\n";
    return nullptr;
  }
  Key key(ENGINE_load_private_key(engine.pEngine, uri.c_str(), NoPrompt(), nullptr));
  if (!key)
    *pWhy = "cannot load the key " + uri + " from its token (a wrong PIN, or none given: " +
            "give it with --pass or the URI's pin-source=): " + OpenSslWords() + "\n";
  ERR_clear_error();
  return key;
}

}  // namespace mocfsign
