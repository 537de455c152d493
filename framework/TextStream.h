#pragma once

#include <QString>
#include <QStringView>

namespace zorv {

// Reads text line by line. A line ends at LF, CR LF or CR; the end is not part
// of the line. Reading past the end gives empty lines.
class TextInputStream {
public:
    explicit TextInputStream(QString text) : m_text(std::move(text)) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    QString readLine();
    QString readAll();

private:
    QString m_text;
    qsizetype m_pos = 0;
};

// Decodes bytes read from a file with the program's default encoding (UTF-8;
// bytes that are not UTF-8 become replacement characters).
QString decodeText(const QByteArray& bytes);
QByteArray encodeText(const QString& text);

} // namespace zorv
