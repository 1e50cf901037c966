#pragma once

#include <QString>

// A named lock held for the life of the process, so that only one copy of
// the program runs. The lock is an flock on a file in the user's runtime
// directory (or /tmp); the kernel releases it when the process ends, however
// it ends.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &name);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False when another process holds the lock (or it could not be taken).
    bool acquired() const { return m_fd >= 0; }

    static QString lockPath(const QString &name);

private:
    int m_fd = -1;
};
