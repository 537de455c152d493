#include "framework/TextStream.h"

#include <QByteArray>
#include <QStringDecoder>
#include <utility>

namespace zorv {

QString TextInputStream::readLine()
{
    if (atEnd())
        return {};
    // Read through a const reference: QString's non-const operator[] would
    // copy the whole text, which the caller usually still shares.
    const QString& text = m_text;
    const qsizetype size = text.size();
    qsizetype end = m_pos;
    while (end < size && text[end] != u'\n' && text[end] != u'\r')
        ++end;
    QString line = text.mid(m_pos, end - m_pos);
    if (end < size && text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n')
        m_pos = end + 2;
    else
        m_pos = end + 1;
    return line;
}

QString TextInputStream::readAll()
{
    QString rest = m_pos == 0 ? m_text : m_text.mid(m_pos);
    m_pos = m_text.size();
    return rest;
}

QString decodeText(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

QByteArray encodeText(const QString& text)
{
    return text.toUtf8();
}

namespace {

// How many bytes at the end begin a UTF-8 sequence that they do not finish:
// a lead byte followed only by fewer continuation bytes than it announces.
// Held back until the next piece, they decode as they would in the whole;
// everything before them decodes alone exactly as it would in the whole.
qsizetype unfinishedTail(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue;
        const qsizetype length = byte >= 0xC2 && byte <= 0xDF   ? 2
                                 : byte >= 0xE0 && byte <= 0xEF ? 3
                                 : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                : 1;
        return length > back ? back : 0;
    }
    return 0;
}

void appendDecoded(QString& text, QByteArrayView bytes)
{
    // Each piece is decoded alone, so no byte order mark may be dropped in
    // its middle; the one at the very start is dropped by add().
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    text.append(decoder.decode(bytes));
}

} // namespace

void TextDecoder::add(QByteArrayView bytes)
{
    static constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF");
    QByteArray joined;
    if (!m_unfinished.isEmpty()) {
        joined = m_unfinished;
        joined.append(bytes);
        bytes = joined;
    }
    if (!m_started) {
        if (bytes.size() < byteOrderMark.size() && byteOrderMark.startsWith(bytes)) {
            m_unfinished = bytes.toByteArray(); // perhaps the start of a byte order mark
            return;
        }
        m_started = true;
        if (bytes.startsWith(byteOrderMark))
            bytes = bytes.sliced(byteOrderMark.size());
    }
    const qsizetype tail = unfinishedTail(bytes);
    appendDecoded(m_text, bytes.first(bytes.size() - tail));
    m_unfinished = bytes.last(tail).toByteArray();
}

QString TextDecoder::finish()
{
    // A sequence cut off by the end decodes as decodeText decodes it there:
    // one replacement character per byte.
    appendDecoded(m_text, m_unfinished);
    m_unfinished.clear();
    m_started = false;
    return std::exchange(m_text, QString());
}

} // namespace zorv
