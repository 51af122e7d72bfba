// The dialog service: every message, question, input and file dialog of the
// library goes through it, so that the same code runs with Qt windows, on a
// console, and in tests that answer from a script.
//
// The default service needs no display: it prints errors and messages on
// standard error, answers a question with its default button and cancels
// input and file dialogs. The graphics layer installs the Qt service; tests
// install ScriptedDialogs.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

struct FileFilter {
  std::string pattern;      // "*.mat" or "*.mat;*.bin"
  std::string description;  // "Parameter files (*.mat)"
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Modal error and message boxes; they return when the user closed them.
  virtual void error(std::string_view title, std::string_view message) = 0;
  virtual void message(std::string_view title, std::string_view message) = 0;
  // A question with named buttons; returns the text of the button chosen, or
  // "" when the dialog was closed without a choice.
  virtual std::string question(std::string_view title, std::string_view text,
                               const std::vector<std::string>& buttons,
                               std::string_view defaultButton) = 0;
  // One field per prompt, pre-filled with the defaults; nullopt when cancelled.
  virtual std::optional<std::vector<std::string>> input(
      std::string_view title, const std::vector<std::string>& prompts,
      const std::vector<std::string>& defaults) = 0;
  // File choosers; a full path, or nullopt when cancelled. `start` is a folder
  // or a suggested file name.
  virtual std::optional<std::string> openFile(std::string_view title,
                                              const std::vector<FileFilter>& filters,
                                              std::string_view start) = 0;
  virtual std::optional<std::string> saveFile(std::string_view title,
                                              const std::vector<FileFilter>& filters,
                                              std::string_view start) = 0;
  // A save chooser that also tells which filter the user chose (its index in
  // `filters`). This default asks saveFile and takes the first filter whose
  // pattern the chosen name ends in, else the first filter.
  struct ChosenFile {
    std::string path;
    std::size_t filter = 0;
  };
  virtual std::optional<ChosenFile> saveFileWithFilter(std::string_view title,
                                                       const std::vector<FileFilter>& filters,
                                                       std::string_view start);
};

// The index of the first filter whose pattern ("*.mat" or "*.mat;*.bin") the
// name ends in.
std::optional<std::size_t> filterOfName(std::string_view name,
                                        const std::vector<FileFilter>& filters);

// The installed service (the console one until another is installed).
DialogService& dialogs();
// Installs a service and returns the previous one; null restores the console one.
std::unique_ptr<DialogService> setDialogService(std::unique_ptr<DialogService> service);

// For tests: records every dialog shown and answers from a queue.
class ScriptedDialogs : public DialogService {
 public:
  struct Shown {
    std::string kind;  // "error", "message", "question", "input", "open", "save"
    std::string title;
    std::string text;  // message, question text, or the prompts / filters joined by '\n'
    std::vector<std::string> options;  // buttons, defaults or filter patterns
  };
  // Answers are taken in order. A question takes the button text; an input the
  // field values (or cancel()); a file dialog the path (or cancel()). When the
  // queue is empty, a question gets its default button and input and file
  // dialogs are cancelled.
  struct Answer {
    bool cancelled = false;
    std::vector<std::string> values;
  };
  void answer(std::string text) { answers.push_back({false, {std::move(text)}}); }
  void answer(std::vector<std::string> values) { answers.push_back({false, std::move(values)}); }
  void cancel() { answers.push_back({true, {}}); }

  std::vector<Shown> shown;
  std::deque<Answer> answers;

  void error(std::string_view title, std::string_view message) override;
  void message(std::string_view title, std::string_view message) override;
  std::string question(std::string_view title, std::string_view text,
                       const std::vector<std::string>& buttons,
                       std::string_view defaultButton) override;
  std::optional<std::vector<std::string>> input(std::string_view title,
                                                const std::vector<std::string>& prompts,
                                                const std::vector<std::string>& defaults) override;
  std::optional<std::string> openFile(std::string_view title,
                                      const std::vector<FileFilter>& filters,
                                      std::string_view start) override;
  std::optional<std::string> saveFile(std::string_view title,
                                      const std::vector<FileFilter>& filters,
                                      std::string_view start) override;
  // The answer's values: the path, then optionally the pattern of the filter
  // chosen (else the one the name ends in, else the first).
  std::optional<ChosenFile> saveFileWithFilter(std::string_view title,
                                               const std::vector<FileFilter>& filters,
                                               std::string_view start) override;

 private:
  std::optional<Answer> next();
};

// Installs a ScriptedDialogs for the lifetime of the guard and restores the
// previous service afterwards.
class ScopedScriptedDialogs {
 public:
  ScopedScriptedDialogs();
  ~ScopedScriptedDialogs();
  ScopedScriptedDialogs(const ScopedScriptedDialogs&) = delete;
  ScopedScriptedDialogs& operator=(const ScopedScriptedDialogs&) = delete;
  ScriptedDialogs& operator*() { return *script_; }
  ScriptedDialogs* operator->() { return script_; }

 private:
  ScriptedDialogs* script_;
  std::unique_ptr<DialogService> previous_;
};

// Asks the current dialog service an OK/Cancel question (Cancel the default);
// true when the answer is OK.
bool askOkCancel(std::string_view title, std::string_view text);

}  // namespace dot11a

DOT11A_API_END
