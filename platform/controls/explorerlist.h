// A list of the files in one folder that match a pattern ("*.*" for all),
// sorted by name. The folder is a Windows path; an empty one, or one that
// names no existing folder, gives an empty list.
#pragma once

#include <QListWidget>
#include <QStringList>

class ExplorerList : public QListWidget {
    Q_OBJECT

  public:
    explicit ExplorerList(QWidget* parent = nullptr);

    QString Folder() const { return folder_; }
    void setFolder(const QString& windowsPath);

    // Patterns separated by semicolons; "*" and "?" as wildcards, matched
    // without regard to case. "*.*" matches every name, with a dot or not.
    QString Pattern() const { return pattern_; }
    void setPattern(const QString& pattern);

    // The names listed, in order.
    QStringList files() const;

    // Lists the folder's contents again.
    void Refresh();

  private:
    QString folder_;
    QString pattern_ = QStringLiteral("*.*");
};
