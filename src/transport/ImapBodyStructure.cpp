#include "transport/ImapBodyStructure.h"

#include "transport/HeaderDecoder.h"

#include <optional>

namespace {

// A mail never nests its parts this deeply; the cap bounds the walk.
constexpr int MaxPartDepth = 32;

[[noreturn]] void malformed(const char* what)
{
    throw ImapSyntaxError(
        QStringLiteral("the message's structure is malformed (%1)").arg(QLatin1String(what)));
}

bool isNString(const ImapValue& value)
{
    return value.kind == ImapValue::Kind::String || value.isNil();
}

HeaderDecoder::Parameters parametersOf(const ImapValue& value)
{
    HeaderDecoder::Parameters result;
    if (value.isNil())
        return result;
    if (!value.isList() || value.items.size() % 2 != 0)
        malformed("parameters are not pairs");
    for (qsizetype i = 0; i < value.items.size(); i += 2) {
        if (value.items[i].kind != ImapValue::Kind::String ||
            value.items[i + 1].kind != ImapValue::Kind::String)
            malformed("a parameter is not a string");
        result.append({value.items[i].text, value.items[i + 1].text});
    }
    return result;
}

std::optional<ImapBodyStructure::Attachment> walk(const ImapValue& part, const QByteArray& section,
                                                  int depth)
{
    if (depth > MaxPartDepth)
        malformed("parts nested too deeply");
    if (!part.isList() || part.items.isEmpty())
        malformed("a part is not a list");
    const QList<ImapValue>& items = part.items;

    if (items.first().isList()) {
        // A multipart: its parts, then its subtype; parts are numbered from 1 below
        // the multipart's own number (the top one has none).
        qsizetype count = 0;
        while (count < items.size() && items[count].isList())
            ++count;
        if (count == items.size() || items[count].kind != ImapValue::Kind::String)
            malformed("a multipart without a subtype");
        for (qsizetype i = 0; i < count; ++i) {
            const QByteArray number = QByteArray::number(i + 1);
            const auto found =
                walk(items[i], section.isEmpty() ? number : section + '.' + number, depth + 1);
            if (found)
                return found;
        }
        return std::nullopt;
    }

    // type subtype parameters id description encoding size ...
    if (items.size() < 7)
        malformed("a part has too few fields");
    if (items[0].kind != ImapValue::Kind::String || items[1].kind != ImapValue::Kind::String ||
        !isNString(items[3]) || !isNString(items[4]) || items[5].kind != ImapValue::Kind::String ||
        !items[6].number())
        malformed("a part's fields are of the wrong kind");
    const HeaderDecoder::Parameters typeParameters = parametersOf(items[2]);
    const QByteArray type = items[0].text.toLower();
    const QByteArray subtype = items[1].text.toLower();
    qsizetype extension = 7;
    if (type == "text") {
        if (items.size() < 8 || !items[7].number())
            malformed("a text part without its line count");
        extension = 8;
    } else if (type == "message" && (subtype == "rfc822" || subtype == "global")) {
        if (items.size() < 10 || !items[7].isList() || !items[8].isList() || !items[9].number())
            malformed("an attached message without its envelope");
        extension = 10;
    }
    QString fileName;
    // Extension fields: MD5, then the disposition (type and parameters) or NIL.
    if (items.size() > extension + 1) {
        const ImapValue& disposition = items[extension + 1];
        if (!disposition.isNil()) {
            if (!disposition.isList() || disposition.items.size() != 2 ||
                disposition.items[0].kind != ImapValue::Kind::String)
                malformed("a disposition is not a type and parameters");
            fileName = HeaderDecoder::parameter(parametersOf(disposition.items[1]), "filename");
        }
    }
    if (fileName.isEmpty())
        fileName = HeaderDecoder::parameter(typeParameters, "name");
    if (fileName.isEmpty())
        return std::nullopt;
    ImapBodyStructure::Attachment attachment;
    // A message that is one part alone has that part as number 1.
    attachment.section = section.isEmpty() ? QByteArray("1") : section;
    attachment.fileName = fileName;
    attachment.encoding = items[5].text.toLower();
    attachment.encodedSize = *items[6].number();
    return attachment;
}

} // namespace

ImapBodyStructure::Attachment ImapBodyStructure::findAttachment(const ImapValue& structure)
{
    return walk(structure, {}, 0).value_or(Attachment{});
}
