#pragma once

// The Open-file dialog that the window shares between its two "..." buttons.
// It keeps its filter and its file name between uses, and a cancel leaves the
// file name as it was: the buttons copy the name whether or not a file was chosen.

#include <QString>
#include <QStringList>
#include <optional>

namespace vlt {

class FileDialog {
  public:
    virtual ~FileDialog() = default;

    // Description and pattern pairs, each item followed by "|":
    // "Veltrimax vl datoteke (*.vlt)|*.vlt|". Empty lists every file.
    void SetFilter(const QString& filter) { filter_ = filter; }
    const QString& Filter() const { return filter_; }

    // The full path of the last file chosen; empty until one is.
    const QString& FileName() const { return fileName_; }

    // Shows the modal dialog, opened at the last file name; returns when the
    // user chooses a file (which becomes the file name) or cancels.
    void ShowOpen();

  protected:
    // Shows the dialog; the chosen file's full path, or nothing on cancel.
    virtual std::optional<QString> Ask(const QString& filter, const QString& fileName) = 0;

  private:
    QString filter_;
    QString fileName_;
};

// The pairs of a "description|pattern|" filter as Qt name filters
// ("Text files (*.txt *.log)"); several patterns are separated by ";".
QStringList ToNameFilters(const QString& filter);

// The dialog of the Qt platform, over the active window. Making one keeps Qt
// from storing the dialog's history and last folder for the next start.
class QtFileDialog final : public FileDialog {
  public:
    QtFileDialog();

  protected:
    std::optional<QString> Ask(const QString& filter, const QString& fileName) override;
};

}  // namespace vlt
