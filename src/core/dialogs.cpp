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

std::optional<std::size_t> filterOfName(std::string_view name,
                                        const std::vector<FileFilter>& filters) {
  for (std::size_t i = 0; i < filters.size(); ++i) {
    std::string_view rest = filters[i].pattern;
    while (!rest.empty()) {
      const std::size_t cut = rest.find(';');
      std::string_view one = rest.substr(0, cut);
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      if (one.starts_with("*")) one.remove_prefix(1);
      if (!one.empty() && one != "." && name.size() > one.size() && name.ends_with(one)) return i;
    }
  }
  return std::nullopt;
}

std::optional<DialogService::ChosenFile> DialogService::saveFileWithFilter(
    std::string_view title, const std::vector<FileFilter>& filters, std::string_view start) {
  const std::optional<std::string> path = saveFile(title, filters, start);
  if (!path) return std::nullopt;
  return ChosenFile{*path, filterOfName(*path, filters).value_or(0)};
}

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

std::optional<DialogService::ChosenFile> ScriptedDialogs::saveFileWithFilter(
    std::string_view title, const std::vector<FileFilter>& filters, std::string_view start) {
  shown.push_back({"save", std::string(title), std::string(start), patterns(filters)});
  auto a = next();
  if (!a || a->cancelled || a->values.empty()) return std::nullopt;
  ChosenFile chosen{a->values.front(), filterOfName(a->values.front(), filters).value_or(0)};
  // The filter answered by its pattern or its description; the first that
  // matches, as two filters may share a pattern.
  if (a->values.size() > 1)
    for (std::size_t i = filters.size(); i-- > 0;)
      if (filters[i].pattern == a->values[1] || filters[i].description == a->values[1])
        chosen.filter = i;
  return chosen;
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
