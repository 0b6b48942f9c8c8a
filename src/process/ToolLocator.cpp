#include "process/ToolLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

ToolLocator::ToolLocator()
    : m_directories(directoriesBeside(QCoreApplication::applicationDirPath()))
{}

ToolLocator::ToolLocator(QString resourcesDirectory)
    : m_directories{std::move(resourcesDirectory)}
{}

ToolLocator::ToolLocator(QStringList directories)
    : m_directories(std::move(directories))
{}

QStringList ToolLocator::directoriesBeside(const QString &executableDirectory)
{
    const QDir beside(executableDirectory);
    return {beside.filePath(QStringLiteral("resources")),
            QDir::cleanPath(beside.filePath(QStringLiteral("../lib/quillmere")))};
}

std::optional<QString> ToolLocator::find(const QString &name) const
{
    for (const QString &directory : m_directories) {
        if (directory.isEmpty())
            continue;
        const QFileInfo bundled(QDir(directory).filePath(name));
        if (bundled.isFile() && bundled.isExecutable())
            return bundled.absoluteFilePath();
    }
    const QString onPath = QStandardPaths::findExecutable(name);
    if (onPath.isEmpty())
        return std::nullopt;
    return onPath;
}
