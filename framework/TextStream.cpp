#include "framework/TextStream.h"

#include <QByteArray>

namespace zorv {

QString TextInputStream::readLine()
{
    if (atEnd())
        return {};
    const qsizetype size = m_text.size();
    qsizetype end = m_pos;
    while (end < size && m_text[end] != u'\n' && m_text[end] != u'\r')
        ++end;
    QString line = m_text.mid(m_pos, end - m_pos);
    if (end < size && m_text[end] == u'\r' && end + 1 < size && m_text[end + 1] == u'\n')
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

} // namespace zorv
