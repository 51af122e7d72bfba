// The entry points' boundary: whatever escapes an operation reaches the caller
// as a dot11a::Error, the library's one failure type, with a text.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/library.hpp"

using dot11a::Value;

namespace {

// A dialog service whose file chooser fails with what `fail` throws.
class FailingChooser : public dot11a::DialogService {
 public:
  explicit FailingChooser(void (*fail)()) : fail_(fail) {}
  void error(std::string_view, std::string_view) override {}
  void message(std::string_view, std::string_view) override {}
  std::string question(std::string_view, std::string_view, const std::vector<std::string>&,
                       std::string_view) override {
    return "";
  }
  std::optional<std::vector<std::string>> input(std::string_view, const std::vector<std::string>&,
                                                const std::vector<std::string>&) override {
    return std::nullopt;
  }
  std::optional<std::string> openFile(std::string_view, const std::vector<dot11a::FileFilter>&,
                                      std::string_view) override {
    fail_();
    return std::nullopt;
  }
  std::optional<std::string> saveFile(std::string_view, const std::vector<dot11a::FileFilter>&,
                                      std::string_view) override {
    return std::nullopt;
  }

 private:
  void (*fail_)();
};

class EntryBoundary : public dot11a::test::LibraryTest {
 protected:
  void TearDown() override { dot11a::setDialogService(nullptr); }

  // Calls loadUserDataFile (which asks the chooser) through its entry points
  // and returns the text of the dot11a::Error that each raised; fails the test
  // when another type arrives.
  std::vector<std::string> errorsWhenTheChooserDoes(void (*fail)()) {
    dot11a::setDialogService(std::make_unique<FailingChooser>(fail));
    std::vector<std::string> texts;
    const Value maxBits(64.0);
    auto capture = [&](auto&& call) {
      try {
        call();
        texts.emplace_back("(no error)");
      } catch (const dot11a::Error& e) {
        texts.emplace_back(e.what());
      } catch (...) {
        ADD_FAILURE() << "an exception other than dot11a::Error left the entry point";
      }
    };
    capture([&] { mlfLoadUserDataFile(nullptr, &maxBits, nullptr); });
    Value out[2];
    capture([&] { mlxLoadUserDataFile(2, out, 1, &maxBits); });
    return texts;
  }
};

TEST_F(EntryBoundary, ForeignExceptionsArriveAsErrorsWithTheirText) {
  for (const std::string& text :
       errorsWhenTheChooserDoes([] { throw std::runtime_error("the chooser broke"); }))
    EXPECT_EQ(text, "the chooser broke");
  for (const std::string& text : errorsWhenTheChooserDoes([] { throw 42; }))
    EXPECT_EQ(text, "An unknown error occurred inside the library.");
}

// A size too large to allocate, or for a container to hold, reads the same
// through the entry points and in a call by name.
TEST_F(EntryBoundary, SizesBeyondMemoryAreOutOfMemoryInEveryCallForm) {
  for (void (*fail)() : {+[] { throw std::bad_alloc(); },
                         +[] { throw std::length_error("cannot create std::vector larger"); }}) {
    for (const std::string& text : errorsWhenTheChooserDoes(fail))
      EXPECT_EQ(text, "Out of memory.");
    EXPECT_EQ(dot11a::test::errorOf([] { dot11a::feval("loadUserDataFile", 2, {Value(64.0)}); }),
              "Out of memory.");
  }
}

TEST_F(EntryBoundary, ErrorsOfTheLibraryPassUnchanged) {
  for (const std::string& text :
       errorsWhenTheChooserDoes([] { dot11a::raise("Cancelled by the chooser."); }))
    EXPECT_EQ(text, "Cancelled by the chooser.");
}

}  // namespace
