#pragma once

// A file's bytes, read-only, mapped into memory when possible: the parser reads the dictionary
// straight from the page cache, and no heap copy of the file stays behind after the load.

#include <QByteArray>
#include <QFile>
#include <QString>

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False when the file cannot be opened or read (error() says why) or is 2 GiB or more
    // (offsets into the text are 32-bit).
    bool open(const QString& path);
    QString error() const { return m_error; }

    const unsigned char* begin() const
    {
        return m_mapped ? m_mapped : reinterpret_cast<const unsigned char*>(m_copy.constData());
    }
    const unsigned char* end() const { return begin() + m_size; }
    // Lets go of the mapped pages this process has touched (a read of every byte, to check it):
    // they stay in the page cache, and only those later reads come back to are counted again.
    void releaseResident() const;
    qsizetype size() const { return m_size; }

private:
    QFile m_file;
    uchar* m_mapped = nullptr;
    QByteArray m_copy;
    qsizetype m_size = 0;
    QString m_error;
};
