// The dialog service on Qt: modal message boxes, questions with named
// buttons, input dialogs with several fields, and file choosers.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "dot11a/dialogs.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::gfx {

namespace {

// The window a dialog belongs to: the active one, unless it is on its way out.
QWidget* activeParent() {
  QWidget* w = QApplication::activeWindow();
  return w != nullptr && w->isVisible() ? w : nullptr;
}

// Dialogs live on the heap behind a guard: should their parent window be
// destroyed while they are open, Qt deletes them with it, and the guard then
// reads as closed instead of leaving a dangling dialog.
template <class D>
struct Guarded {
  QPointer<D> d;
  explicit Guarded(D* dialog) : d(dialog) {}
  ~Guarded() { delete d.data(); }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;
  D* operator->() { return d.data(); }
  explicit operator bool() const { return !d.isNull(); }
};

// "Parameter files (*.mat)" style filter strings from the service's filters.
QString filterString(const std::vector<FileFilter>& filters) {
  QStringList parts;
  for (const FileFilter& f : filters) {
    QString patterns = toQ(f.pattern);
    patterns.replace(';', ' ');
    QString desc = toQ(f.description.empty() ? f.pattern : f.description);
    if (!desc.contains('('))
      desc += " (" + patterns + ")";
    else if (!desc.contains(patterns))
      desc = desc.left(desc.indexOf('(')).trimmed() + " (" + patterns + ")";
    parts << desc;
  }
  return parts.join(";;");
}

class QtDialogs : public DialogService {
 public:
  void error(std::string_view title, std::string_view message) override {
    Guarded<QMessageBox> box(new QMessageBox(QMessageBox::Critical, toQ(title), toQ(message),
                                             QMessageBox::Ok, activeParent()));
    box->exec();
  }
  void message(std::string_view title, std::string_view message) override {
    Guarded<QMessageBox> box(new QMessageBox(QMessageBox::Information, toQ(title), toQ(message),
                                             QMessageBox::Ok, activeParent()));
    box->exec();
  }
  std::string question(std::string_view title, std::string_view text,
                       const std::vector<std::string>& buttons,
                       std::string_view defaultButton) override {
    Guarded<QMessageBox> box(new QMessageBox(QMessageBox::Question, toQ(title), toQ(text),
                                             QMessageBox::NoButton, activeParent()));
    std::vector<std::pair<QAbstractButton*, std::string>> made;
    for (const std::string& b : buttons) {
      // "&" is shown as itself ("Calculate & Download"), not as a shortcut mark.
      QPushButton* pb = box->addButton(toQ(b).replace('&', "&&"), QMessageBox::AcceptRole);
      made.emplace_back(pb, b);
      if (b == defaultButton) box->setDefaultButton(pb);
    }
    // Closing the box (Escape or the close box) chooses nothing.
    QPushButton* none = box->addButton(QMessageBox::Close);
    none->hide();
    box->setEscapeButton(none);
    box->exec();
    if (!box) return "";
    for (auto& [pb, name] : made)
      if (box->clickedButton() == pb) return name;
    return "";
  }
  std::optional<std::vector<std::string>> input(std::string_view title,
                                                const std::vector<std::string>& prompts,
                                                const std::vector<std::string>& defaults) override {
    Guarded<QDialog> guard(new QDialog(activeParent()));
    QDialog& dlg = *guard.d;
    dlg.setWindowTitle(toQ(title));
    auto* layout = new QVBoxLayout(&dlg);
    std::vector<QLineEdit*> fields;
    for (std::size_t i = 0; i < prompts.size(); ++i) {
      layout->addWidget(new QLabel(toQ(prompts[i]), &dlg));
      auto* edit = new QLineEdit(i < defaults.size() ? toQ(defaults[i]) : QString(), &dlg);
      edit->setMinimumWidth(260);
      layout->addWidget(edit);
      fields.push_back(edit);
    }
    auto* bb = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    QObject::connect(bb, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(bb, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(bb);
    if (dlg.exec() != QDialog::Accepted || !guard) return std::nullopt;
    std::vector<std::string> out;
    for (QLineEdit* e : fields) out.push_back(fromQ(e->text()));
    return out;
  }
  std::optional<std::string> openFile(std::string_view title,
                                      const std::vector<FileFilter>& filters,
                                      std::string_view start) override {
    const QString path =
        QFileDialog::getOpenFileName(activeParent(), toQ(title), toQ(start), filterString(filters));
    if (path.isEmpty()) return std::nullopt;
    return fromQ(path);
  }
  std::optional<std::string> saveFile(std::string_view title,
                                      const std::vector<FileFilter>& filters,
                                      std::string_view start) override {
    const QString path =
        QFileDialog::getSaveFileName(activeParent(), toQ(title), toQ(start), filterString(filters));
    if (path.isEmpty()) return std::nullopt;
    return fromQ(path);
  }
  std::optional<ChosenFile> saveFileWithFilter(std::string_view title,
                                               const std::vector<FileFilter>& filters,
                                               std::string_view start) override {
    QString selected;
    const QString path = QFileDialog::getSaveFileName(activeParent(), toQ(title), toQ(start),
                                                      filterString(filters), &selected);
    if (path.isEmpty()) return std::nullopt;
    const QStringList each = filterString(filters).split(";;");
    const auto index = each.indexOf(selected);
    return ChosenFile{fromQ(path), index >= 0 ? static_cast<std::size_t>(index) : 0};
  }
};

}  // namespace

std::unique_ptr<DialogService> makeQtDialogs() {
  return std::make_unique<QtDialogs>();
}
bool isQtDialogs(const DialogService& service) {
  return dynamic_cast<const QtDialogs*>(&service) != nullptr;
}

}  // namespace dot11a::gfx
