// Mapping, with a plain read for files that cannot be mapped (empty files, pipes, some mounts).
#include "core/dictionary/MappedFile.h"

#include <QFileInfo>

#include <cstdint>

#include <sys/mman.h>

MappedFile::~MappedFile()
{
    if (m_mapped) m_file.unmap(m_mapped);
}

bool MappedFile::open(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        m_error = QStringLiteral("not a regular file");
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return false;
    }
    const qint64 size = m_file.size();
    if (size >= qint64(INT32_MAX)) {
        m_error = QStringLiteral("too large");
        return false;
    }
    if (size > 0 && (m_mapped = m_file.map(0, size))) {
        m_size = size;
        return true;
    }
    m_copy = m_file.readAll();
    m_size = m_copy.size();
    if (m_file.error() != QFileDevice::NoError) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}

void MappedFile::releaseResident() const
{
    if (m_mapped) madvise(m_mapped, size_t(m_size), MADV_DONTNEED);
}
