// The directory list of a classic Windows file dialog: the folders from the
// drive's root down to the current folder, shown open and indented, and the
// current folder's subfolders below it, shown closed. Double-click or Enter
// moves into the selected folder; a single click only selects it.
#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

class DirListBox : public QListWidget {
    Q_OBJECT

  public:
    // Starts at the process's current directory.
    explicit DirListBox(QWidget* parent = nullptr);

    // The current folder as a full Windows path; it ends in a backslash only
    // at a drive's root ("C:\", "C:\WINDOWS").
    QString Path() const { return path_; }

    // Moves to a folder given as a Windows path (resolved without regard to
    // case). False, and nothing changes, when it is not an existing folder.
    bool setPath(const QString& windowsPath);

    // The subfolders listed below the current folder, in the order shown.
    QStringList subfolders() const { return subfolders_; }

  signals:
    // The current folder changed (to `path`).
    void changed(const QString& path);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void openRow(int row);
    void fill();

    QString path_;            // the current folder
    QStringList chain_;       // the folders from the root down to path_, as full paths
    QStringList subfolders_;  // names of path_'s subfolders, sorted
};
