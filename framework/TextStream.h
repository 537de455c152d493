#pragma once

#include <QByteArray>
#include <QByteArrayView>
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

// Decodes bytes that arrive in pieces into the text decodeText would give for
// all of them at once. The text needs at most one character per byte.
class TextDecoder {
public:
    explicit TextDecoder(qsizetype expectedBytes = 0) { m_text.reserve(expectedBytes); }

    void add(QByteArrayView bytes);
    QString finish();

private:
    QString m_text;
    QByteArray m_unfinished; // a sequence the last piece began but did not end
    bool m_started = false;
};

} // namespace zorv
