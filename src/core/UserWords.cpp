#include "core/UserWords.h"

#include "base/Log.h"
#include "base/Notifier.h"
#include "base/SafeFile.h"
#include "base/TextUtil.h"
#include "core/dictionary/InitialSound.h"
#include "core/dictionary/ReadingIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimeZone>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTimeFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
constexpr qsizetype kMaxSyllables = 12;
constexpr qint64 kRecheckMs = 100;

QByteArray native(const QString& path) { return QFile::encodeName(path); }

QString pairKey(const QString& hangul, const QString& hanja) { return hangul + QLatin1Char('\t') + hanja; }

bool allSyllables(QStringView text)
{
    for (QChar c : text)
        if (!TextUtil::isHangulSyllable(c.unicode())) return false;
    return !text.isEmpty();
}

bool allHan(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(text[i], text[i + 1]), ++i;
        if (!ReadingIndex::isHan(c)) return false;
    }
    return !text.isEmpty();
}

// QChar::isSpace looks every character past Latin-1 up in a table; a word's own characters (CJK,
// Hangul) never are spaces, and a load asks at both ends of three fields of every line.
bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80) return u == u' ' || (u >= u'\t' && u <= u'\r');
    return (u < 0x3400 || u > 0xD7A3) && c.isSpace();
}

QStringView trimmed(QStringView text)
{
    while (!text.isEmpty() && isSpace(text.front())) text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back())) text.chop(1);
    return text;
}

// The coarse clock costs a few nanoseconds, the exact one tens, and a press asks twice or more.
qint64 coarseMs()
{
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

QByteArray stampOf(const QString& path)
{
    struct stat st;
    if (::stat(native(path).constData(), &st) != 0) return QByteArray();
    return QByteArray::number(qint64(st.st_ino)) + ':' + QByteArray::number(qint64(st.st_size)) + ':'
        + QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec) + ':'
        + QByteArray::number(qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec);
}

// Appends lines to a file, synced; false when not all of them are there.
bool appendSynced(const QString& path, const QList<QByteArray>& lines)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line + '\n';
    bool ok = true;
    for (qsizetype written = 0; ok && written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) written += n;
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// 20261207T161500Z, read by hand: QDateTime::fromString took most of a load of thousands of words.
QDateTime parseTime(QStringView text)
{
    if (text.size() != 16 || text.at(8) != QLatin1Char('T') || text.at(15) != QLatin1Char('Z')) return QDateTime();
    const auto number = [&](qsizetype from, qsizetype length) {
        int n = 0;
        for (qsizetype i = from; i < from + length; ++i) {
            const char16_t digit = text.at(i).unicode();
            if (digit < u'0' || digit > u'9') return -1;
            n = n * 10 + (digit - u'0');
        }
        return n;
    };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(9, 2), number(11, 2), number(13, 2));
    if (!date.isValid() || !time.isValid()) return QDateTime();
    // Qt::UTC, not QTimeZone::utc(): a zone object per word cost more than the rest of the line.
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

UserWords& UserWords::shared()
{
    static UserWords* instance = new UserWords(defaultPath(), HanjaDictionary::shared());
    return *instance;
}

QString UserWords::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/sorelwick/words.txt");
}

UserWords::UserWords(QString path, HanjaDictionary& dictionary)
    : m_path(std::move(path))
    , m_dictionary(dictionary)
{
}

std::optional<UserWord> UserWords::parseLine(QStringView line)
{
    // Fields are cut out of the line in place: a load reads thousands of lines.
    const qsizetype first = line.indexOf(QLatin1Char(':'));
    if (first < 0) return std::nullopt;
    const qsizetype second = line.indexOf(QLatin1Char(':'), first + 1);
    UserWord word;
    // Syllables are composed already: no pass to see whether they need it.
    const QStringView hangul = trimmed(line.first(first));
    word.hangul = allSyllables(hangul) ? hangul.toString() : TextUtil::nfc(hangul.toString());
    const QStringView hanja = trimmed(second < 0 ? line.sliced(first + 1) : line.sliced(first + 1, second - first - 1));
    word.hanja = TextUtil::nfc(hanja.toString());
    if (!allSyllables(word.hangul) || !allHan(word.hanja)) return std::nullopt;
    if (second < 0) return word;
    // A gloss may hold colons of its own; a last field that reads as a time is the time added.
    QStringView gloss = line.sliced(second + 1);
    if (const qsizetype last = line.lastIndexOf(QLatin1Char(':')); last > second) {
        if (const QDateTime added = parseTime(line.sliced(last + 1)); added.isValid()) {
            word.added = added;
            gloss = line.sliced(second + 1, last - second - 1);
        }
    }
    word.gloss = trimmed(gloss).toString();
    return word;
}

QString UserWords::lineOf(const UserWord& word, bool withTime)
{
    QString gloss = word.gloss;
    gloss.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QString line = word.hangul + QLatin1Char(':') + word.hanja + QLatin1Char(':') + gloss;
    if (withTime && word.added.isValid()) line += QLatin1Char(':') + word.added.toUTC().toString(kTimeFormat);
    return line;
}

UserWords::FileRead UserWords::readFile() const
{
    FileRead read;
    QFile file(m_path);
    if (!file.exists()) return read;
    if (!QFileInfo(m_path).isFile()) {
        read.failure = QStringLiteral("파일이 아님");
        return read;
    }
    if (file.size() > kMaxFileBytes) {
        read.failure = QStringLiteral("%1바이트보다 큼").arg(kMaxFileBytes);
        return read;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        read.failure = file.errorString();
        return read;
    }
    const QByteArray bytes = file.readAll();
    const auto take = [&](QStringView line, const auto& raw) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty() || line.front() == QLatin1Char('#') || (isSpace(line.front()) && trimmed(line).isEmpty())) return;
        if (std::optional<UserWord> word = parseLine(line)) read.words.append(std::move(*word));
        else read.broken.append(raw(line));
    };
    // One allocation for the list: counted with memchr, which is many times faster than a loop.
    qsizetype lines = 1;
    for (const char *p = bytes.constData(), *end = p + bytes.size(); (p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p))));
         ++p)
        ++lines;
    read.words.reserve(lines);
    // Decoded once as a whole, the usual case; a file with bytes that are no UTF-8 line by line,
    // those lines kept aside as they stand.
    if (QByteArrayView(bytes).isValidUtf8()) {
        const QString text = QString::fromUtf8(bytes);
        for (qsizetype from = 0; from <= text.size();) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'), from);
            const qsizetype to = end < 0 ? text.size() : end;
            take(QStringView(text).sliced(from, to - from), [](QStringView line) { return line.toUtf8(); });
            from = to + 1;
        }
        return read;
    }
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArrayView line = raw.endsWith('\r') ? QByteArrayView(raw).chopped(1) : QByteArrayView(raw);
        if (line.trimmed().isEmpty() || line.startsWith('#')) continue;
        if (!line.isValidUtf8()) read.broken.append(line.toByteArray());
        else take(QString::fromUtf8(line), [&](QStringView) { return line.toByteArray(); });
    }
    return read;
}

std::shared_ptr<const UserWordTable> UserWords::table()
{
    QMutexLocker lock(&m_mutex);
    // A lookup asks twice or more per press: the file is looked at again only after a while (a
    // change made here is seen at once; one made by another process within that while).
    const qint64 now = coarseMs();
    if (m_table && m_checkedMs >= 0 && now - m_checkedMs < kRecheckMs) return m_table;
    m_checkedMs = now;
    const QByteArray stamp = stampOf(m_path);
    if (m_table && stamp == m_stamp) return m_table;
    FileRead read = readFile();
    if (read.failure) Log::write(QStringLiteral("내 낱말 파일을 읽을 수 없음: %1 (%2)").arg(m_path, *read.failure));
    if (!read.broken.isEmpty())
        Log::write(QStringLiteral("내 낱말 파일에서 낱말로 읽을 수 없는 줄 %1개를 건너뜀 (다음에 바꿀 때 %2.broken으로 옮김): %3")
                       .arg(read.broken.size())
                       .arg(m_path, QString::fromUtf8(read.broken.first()).left(60)));
    m_table = std::make_shared<const UserWordTable>(std::move(read.words));
    m_stamp = stamp;
    return m_table;
}

std::optional<QString> UserWords::refusal(const QString& hangulIn, const QString& hanjaIn)
{
    const QString hangul = TextUtil::nfc(TextUtil::trimmed(hangulIn));
    const QString hanja = TextUtil::nfc(TextUtil::trimmed(hanjaIn));
    if (!allSyllables(hangul)) return QStringLiteral("\"%1\"은(는) 한글 낱말이 아닙니다").arg(hangul);
    if (hangul.size() > kMaxSyllables) return QStringLiteral("한글 낱말은 %1자까지입니다").arg(kMaxSyllables);
    if (!allHan(hanja)) return QStringLiteral("\"%1\"에 한자가 아닌 글자가 있습니다").arg(hanja);
    const QList<uint> characters = hanja.toUcs4();
    if (characters.size() != hangul.size())
        return QStringLiteral("글자 수가 맞지 않습니다: %1은(는) %2자, %3은(는) %4자")
            .arg(hangul)
            .arg(hangul.size())
            .arg(hanja)
            .arg(characters.size());
    for (qsizetype i = 0; i < hangul.size(); ++i) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t*>(&characters[i]), 1);
        const QList<HanjaDictionary::ReadingPiece> pieces = m_dictionary.readHanja(character, false);
        if (pieces.isEmpty() || !pieces.first().known) return QStringLiteral("%1은(는) 사전에 없는 한자입니다").arg(character);
        const char16_t syllable = hangul.at(i).unicode();
        bool reads = false;
        for (const QString& r : pieces.first().readings) {
            const char16_t own = r.at(0).unicode();
            reads = reads || own == syllable || (i == 0 && InitialSound::atWordStart(own) == syllable)
                 || (i > 0 && InitialSound::afterSyllable(hangul.at(i - 1).unicode(), own) == syllable);
        }
        reads = reads || (character == QStringLiteral("不") && syllable == u'부');
        if (!reads)
            return QStringLiteral("%1은(는) '%2'(으)로 읽지 않습니다 (읽는 소리: %3)")
                .arg(character, QString(QChar(syllable)), pieces.first().readings.join(QStringLiteral(", ")));
    }
    return std::nullopt;
}

UserWords::Result UserWords::change(const std::function<bool(QList<UserWord>&)>& edit)
{
    const auto failed = [this](const QString& why) {
        Log::write(QStringLiteral("내 낱말 파일을 쓸 수 없음: %1 (%2)").arg(m_path, why));
        return Result{false, false, QStringLiteral("내 낱말을 저장하지 못했습니다 (%1)").arg(why)};
    };
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder)) ::chmod(native(folder).constData(), 0700);
    Result result{true, false, QString()};
    {
        SafeFile::Lock lock(m_path + QStringLiteral(".lock"));
        if (!lock.locked()) return failed(lock.error());
        FileRead read = readFile();
        if (read.failure) return failed(*read.failure); // never written over: it may hold the user's words
        if (!edit(read.words) && read.broken.isEmpty()) return result;
        // Lines that are no words go aside first; one that cannot stays where it is.
        QList<QByteArray> kept;
        if (!read.broken.isEmpty()) {
            if (appendSynced(m_path + QStringLiteral(".broken"), read.broken))
                Log::write(QStringLiteral("내 낱말 파일의 읽을 수 없는 줄 %1개를 %2.broken으로 옮김").arg(read.broken.size()).arg(m_path));
            else
                kept = read.broken;
        }
        QByteArray bytes = "# hangul:hanja:gloss:added — Sorelwick 내 낱말\n";
        for (const UserWord& w : std::as_const(read.words)) bytes += lineOf(w, true).toUtf8() + '\n';
        for (const QByteArray& line : std::as_const(kept)) bytes += line + '\n';
        struct stat st;
        const mode_t mode = ::stat(native(m_path).constData(), &st) == 0 ? st.st_mode & 07777 : 0600;
        if (const std::optional<QString> why = SafeFile::replace(native(m_path), bytes, mode)) return failed(*why);
        result.changed = true;
    }
    {
        QMutexLocker lock(&m_mutex);
        m_checkedMs = -1;
    }
    Notifier::shared().post(didChange);
    return result;
}

UserWords::Result UserWords::add(const QString& hangulIn, const QString& hanjaIn, const QString& gloss, const QDateTime& at)
{
    const QString hangul = TextUtil::nfc(TextUtil::trimmed(hangulIn));
    const QString hanja = TextUtil::nfc(TextUtil::trimmed(hanjaIn));
    if (const std::optional<QString> why = refusal(hangul, hanja)) return Result{false, false, *why};
    const UserWord word{hangul, hanja, gloss.simplified(), at.toUTC()};
    return change([&](QList<UserWord>& words) {
        for (const UserWord& w : words)
            if (w.hangul == hangul && w.hanja == hanja) return false;
        words.append(word);
        return true;
    });
}

UserWords::Result UserWords::remove(const QString& hangul, const QString& hanja)
{
    const QString h = TextUtil::nfc(TextUtil::trimmed(hangul)), x = TextUtil::nfc(TextUtil::trimmed(hanja));
    return change([&](QList<UserWord>& words) {
        return words.removeIf([&](const UserWord& w) { return w.hangul == h && w.hanja == x; }) > 0;
    });
}

UserWords::Result UserWords::clear()
{
    return change([](QList<UserWord>& words) {
        const bool any = !words.isEmpty();
        words.clear();
        return any;
    });
}

UserWords::ImportReport UserWords::importLines(const QByteArray& bytes, const QDateTime& at)
{
    ImportReport report;
    QList<UserWord> incoming;
    for (QByteArray raw : bytes.split('\n')) {
        if (raw.endsWith('\r')) raw.chop(1);
        if (raw.trimmed().isEmpty() || raw.startsWith('#')) continue;
        const QString text = QString::fromUtf8(raw);
        std::optional<UserWord> word = text.toUtf8() == raw ? parseLine(text) : std::nullopt;
        const std::optional<QString> why =
            !word ? std::optional<QString>(QStringLiteral("한글:한자:뜻 줄이 아닙니다")) : refusal(word->hangul, word->hanja);
        if (why) {
            if (report.malformed++ == 0) {
                report.firstRefused = text;
                report.refusedWhy = *why;
            }
            continue;
        }
        if (!word->added.isValid()) word->added = at.toUTC();
        incoming.append(*word);
    }
    const Result saved = change([&](QList<UserWord>& words) {
        QSet<QString> have;
        for (const UserWord& w : words) have.insert(pairKey(w.hangul, w.hanja));
        report.taken = report.duplicates = 0;
        for (const UserWord& w : std::as_const(incoming)) {
            if (have.contains(pairKey(w.hangul, w.hanja))) {
                ++report.duplicates;
                continue;
            }
            have.insert(pairKey(w.hangul, w.hanja));
            words.append(w);
            ++report.taken;
        }
        return report.taken > 0;
    });
    if (!saved.ok) {
        report.failure = saved.reason;
        report.taken = 0;
    }
    return report;
}

QByteArray UserWords::exportLines()
{
    QByteArray bytes;
    for (const UserWord& w : table()->words()) bytes += lineOf(w, false).toUtf8() + '\n';
    return bytes;
}
