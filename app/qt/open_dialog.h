#pragma once

// The Open-file dialog that the window shows for its two "..." buttons. What it
// keeps between uses (its filter and file name) is Form1's; this only shows it.

#include <QString>
#include <QStringList>
#include <optional>

namespace vlt {

class OpenDialog {
  public:
    virtual ~OpenDialog() = default;

    // Shows the modal dialog with `filter` ("description|pattern|" pairs, empty for
    // every file), started in `folder` (else in the folder of `fileName`) with the name of
    // `fileName` in its box; the chosen file's full path, or nothing on cancel.
    virtual std::optional<QString> Ask(const QString& filter, const QString& fileName,
                                       const QString& folder) = 0;
};

// The pairs of a "description|pattern|" filter as Qt name filters
// ("Text files (*.txt *.log)"); several patterns are separated by ";".
QStringList ToNameFilters(const QString& filter);

// The dialog of the Qt platform, over the active window. Making one keeps Qt
// from storing the dialog's history and last folder for the next start.
class QtOpenDialog final : public OpenDialog {
  public:
    QtOpenDialog();

    std::optional<QString> Ask(const QString& filter, const QString& fileName,
                               const QString& folder) override;
};

}  // namespace vlt
