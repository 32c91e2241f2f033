// The common file-open dialog, over Qt's own (non-native) file dialog.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class CommonDialog {
  public:
    // What a test puts in place of the real dialog: given the first filter
    // entry, returns the chosen host path, or nullopt for a cancel.
    using Chooser =
        std::function<std::optional<QString>(const QString& description, const QString& pattern)>;

    // "description|pattern", entries joined by further bars
    // ("Bitmaps|*.bmp|All files|*.*"); several patterns in one entry are
    // separated by semicolons.
    void setFilter(const QString& filter) { filter_ = filter; }
    QString Filter() const { return filter_; }

    // Shows the dialog modally and returns when it is closed. A chosen file
    // becomes FileName; a cancel leaves FileName as it was.
    void ShowOpen();

    // The full Windows path of the last file chosen; empty until one is.
    QString FileName() const { return fileName_; }
    void setFileName(const QString& windowsPath) { fileName_ = windowsPath; }

    // The folder dialog, shown modally: returns the host folder chosen, or
    // nullopt for a cancel. A test's chooser stands in for it too, asked
    // with the description "Folder" and no pattern.
    static std::optional<QString> BrowseForFolder(const QString& title);

    // Replaces the real dialogs (an empty function restores them).
    static void setChooser(Chooser chooser);

  private:
    QString filter_;
    QString fileName_;
};
