#include "dot11a/dialogs.hpp"

#include <iostream>

namespace dot11a {

namespace {

std::string joined(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& i : items) {
    if (!s.empty()) s += '\n';
    s += i;
  }
  return s;
}

std::vector<std::string> patterns(const std::vector<FileFilter>& filters) {
  std::vector<std::string> p;
  for (const auto& f : filters) p.push_back(f.pattern);
  return p;
}

// No display: errors and messages go to standard error, questions take their
// default, everything that needs a person's input is cancelled.
class ConsoleDialogs : public DialogService {
 public:
  void error(std::string_view title, std::string_view message) override {
    std::cerr << (title.empty() ? "Error" : title) << ": " << message << '\n';
  }
  void message(std::string_view title, std::string_view message) override {
    std::cerr << (title.empty() ? "Message" : title) << ": " << message << '\n';
  }
  std::string question(std::string_view, std::string_view, const std::vector<std::string>&,
                       std::string_view defaultButton) override {
    return std::string(defaultButton);
  }
  std::optional<std::vector<std::string>> input(std::string_view, const std::vector<std::string>&,
                                                const std::vector<std::string>&) override {
    return std::nullopt;
  }
  std::optional<std::string> openFile(std::string_view, const std::vector<FileFilter>&,
                                      std::string_view) override {
    return std::nullopt;
  }
  std::optional<std::string> saveFile(std::string_view, const std::vector<FileFilter>&,
                                      std::string_view) override {
    return std::nullopt;
  }
};

std::unique_ptr<DialogService>& slot() {
  static std::unique_ptr<DialogService> service = std::make_unique<ConsoleDialogs>();
  return service;
}

}  // namespace

DialogService& dialogs() {
  return *slot();
}

std::unique_ptr<DialogService> setDialogService(std::unique_ptr<DialogService> service) {
  if (!service) service = std::make_unique<ConsoleDialogs>();
  std::swap(slot(), service);
  return service;
}

std::optional<ScriptedDialogs::Answer> ScriptedDialogs::next() {
  if (answers.empty()) return std::nullopt;
  Answer a = std::move(answers.front());
  answers.pop_front();
  return a;
}

void ScriptedDialogs::error(std::string_view title, std::string_view message) {
  shown.push_back({"error", std::string(title), std::string(message), {}});
}

void ScriptedDialogs::message(std::string_view title, std::string_view message) {
  shown.push_back({"message", std::string(title), std::string(message), {}});
}

std::string ScriptedDialogs::question(std::string_view title, std::string_view text,
                                      const std::vector<std::string>& buttons,
                                      std::string_view defaultButton) {
  shown.push_back({"question", std::string(title), std::string(text), buttons});
  auto a = next();
  if (!a) return std::string(defaultButton);
  if (a->cancelled || a->values.empty()) return "";
  return a->values.front();
}

std::optional<std::vector<std::string>> ScriptedDialogs::input(
    std::string_view title, const std::vector<std::string>& prompts,
    const std::vector<std::string>& defaults) {
  shown.push_back({"input", std::string(title), joined(prompts), defaults});
  auto a = next();
  if (!a || a->cancelled) return std::nullopt;
  return a->values;
}

std::optional<std::string> ScriptedDialogs::openFile(std::string_view title,
                                                     const std::vector<FileFilter>& filters,
                                                     std::string_view start) {
  shown.push_back({"open", std::string(title), std::string(start), patterns(filters)});
  auto a = next();
  if (!a || a->cancelled || a->values.empty()) return std::nullopt;
  return a->values.front();
}

std::optional<std::string> ScriptedDialogs::saveFile(std::string_view title,
                                                     const std::vector<FileFilter>& filters,
                                                     std::string_view start) {
  shown.push_back({"save", std::string(title), std::string(start), patterns(filters)});
  auto a = next();
  if (!a || a->cancelled || a->values.empty()) return std::nullopt;
  return a->values.front();
}

ScopedScriptedDialogs::ScopedScriptedDialogs() {
  auto s = std::make_unique<ScriptedDialogs>();
  script_ = s.get();
  previous_ = setDialogService(std::move(s));
}

ScopedScriptedDialogs::~ScopedScriptedDialogs() {
  setDialogService(std::move(previous_));
}

bool askOkCancel(std::string_view title, std::string_view text) {
  return dialogs().question(title, text, {"OK", "Cancel"}, "Cancel") == "OK";
}

}  // namespace dot11a
