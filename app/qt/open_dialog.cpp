#include "app/qt/open_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace vlt {

QStringList ToNameFilters(const QString& filter) {
    const QStringList items = filter.split(QLatin1Char('|'));
    QStringList nameFilters;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        const QString description = items[i].trimmed();
        QStringList patterns = items[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
        }
        if (patterns.isEmpty()) {
            continue;
        }
        const QString patternList = patterns.join(QLatin1Char(' '));
        const QString suffix = QStringLiteral("(%1)").arg(patternList);
        // Qt reads the patterns from the last parentheses; a description that
        // already ends with them ("Text (*.txt)") needs no second copy.
        nameFilters << (description.endsWith(suffix)
                            ? description
                            : QStringLiteral("%1 %2").arg(description, suffix).trimmed());
    }
    return nameFilters;
}

// A QFileDialog writes its history, last folder and layout to the user's QtProject.conf
// (QSettings(QSettings::UserScope, "QtProject"), always in the native format) when it is
// destroyed, and the next start reads them back; the program stores nothing between starts,
// and the dialog opens where Form1 last chose a file. /dev/null is no folder, so nothing can be
// made beneath it: the save ends in QSettings::AccessError having written nothing, and reading
// finds nothing. The program keeps no settings of its own, so the path may be the process's.
QtOpenDialog::QtOpenDialog() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}

std::optional<QString> QtOpenDialog::Ask(const QString& filter, const QString& fileName,
                                         const QString& folder) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList nameFilters = ToNameFilters(filter);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
    }
    if (!fileName.isEmpty()) {
        const QFileInfo last(fileName);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace vlt
