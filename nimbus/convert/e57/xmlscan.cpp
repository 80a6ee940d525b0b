// The XML section, read piece by piece with QXmlStreamReader. Only what a
// converter needs is kept: per scan of e57Root/data3D its points section,
// prototype, pose and colour limits, and the file's coordinateMetadata.
// Everything else, extensions included,
// is passed over; extension fields inside a prototype still count as fields
// because they still own a byte stream.

#include "e57file.h"
#include "e57messages.h"
#include "systemerror.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

namespace nimbus::e57 {

namespace {

const QLatin1String kE57Namespace("http://www.astm.org/COMMIT/E57/2010-e57-v1.0");

// Pieces of the section handed to the parser at a time.
constexpr std::uint64_t kXmlPiece = 64u << 10;

enum class Role {
    Ignore,
    Root,
    Data3D,
    Scan,
    Points,
    Prototype,
    ProtoGroup,
    Field,
    Codecs,
    Pose,
    Rotation,
    Translation,
    Limits,
    Number,
    Text,
};

struct Frame {
    Role role = Role::Ignore;
    double* target = nullptr; // Number: where its value goes
    bool* given = nullptr;    // Number: set once the value is read
    QString text;
    QString name;
};

// Makes `frame` the value element for `local` among `choices`, if it is one.
void pickNumber(Frame& frame, const QString& local,
                std::initializer_list<std::pair<const char*, double*>> choices)
{
    for (const auto& choice : choices)
        if (local == QLatin1String(choice.first)) {
            frame.role = Role::Number;
            frame.target = choice.second;
        }
}

class Parser {
public:
    Parser(std::vector<ScanInfo>& scans, std::string& coordinateMetadata, Reason& error)
        : scans_(scans), coordinateMetadata_(coordinateMetadata), error_(error)
    {
    }

    // False (error set) on a structural problem in what was read so far.
    bool start(const QXmlStreamReader& xml);
    bool end();
    void text(const QXmlStreamReader& xml)
    {
        if (!stack_.empty() && (stack_.back().role == Role::Number || stack_.back().role == Role::Text)
            && stack_.back().text.size() < kMaxText)
            stack_.back().text += xml.text();
    }
    bool sawRoot() const { return sawRoot_; }

private:
    bool fail(const Reason& reason)
    {
        error_ = reason;
        return false;
    }
    // Fails with `reason`, said of the scan being read.
    bool failInScan(const Reason& reason) { return fail(Reason(msg::kScanFault, scans_.size(), reason)); }
    bool startField(const QXmlStreamReader& xml, const QString& name, const QStringRef& type);
    bool readInt(const QXmlStreamAttributes& a, const char* name, std::int64_t& value, const QString& field);
    bool readDouble(const QXmlStreamAttributes& a, const char* name, double& value, bool& given, const QString& field);

    // A coordinate system's WKT takes a few kilobytes.
    static constexpr int kMaxText = 1 << 20;

    std::vector<ScanInfo>& scans_;
    std::string& coordinateMetadata_;
    Reason& error_;
    std::vector<Frame> stack_;
    bool sawRoot_ = false;
};

bool Parser::readInt(const QXmlStreamAttributes& a, const char* name, std::int64_t& value, const QString& field)
{
    const QStringRef text = a.value(QLatin1String(name));
    if (text.isNull())
        return true;
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    if (!ok)
        return failInScan(Reason(msg::kAttributeNotInteger, name, field.toStdString()));
    return true;
}

bool Parser::readDouble(const QXmlStreamAttributes& a, const char* name, double& value, bool& given,
                        const QString& field)
{
    const QStringRef text = a.value(QLatin1String(name));
    given = !text.isNull();
    if (!given)
        return true;
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    if (!ok)
        return failInScan(Reason(msg::kAttributeNotNumber, name, field.toStdString()));
    return true;
}

bool Parser::startField(const QXmlStreamReader& xml, const QString& name, const QStringRef& type)
{
    ScanInfo& scan = scans_.back();
    // A data packet's stream count is a uint16: no readable prototype has
    // more fields, and an XML section cannot make this list grow without end.
    if (scan.fields.size() >= 65535)
        return failInScan(Reason(msg::kTooManyFieldsInPrototype));
    const QXmlStreamAttributes a = xml.attributes();
    Field f;
    f.name = name.toStdString();
    bool given = false;
    if (type == QLatin1String("Float")) {
        f.kind = a.value(QLatin1String("precision")) == QLatin1String("single") ? FieldKind::Float32
                                                                                : FieldKind::Float64;
        f.bits = f.kind == FieldKind::Float32 ? 32 : 64;
        bool hasMin = false, hasMax = false;
        if (!readDouble(a, "minimum", f.floatMinimum, hasMin, name)
            || !readDouble(a, "maximum", f.floatMaximum, hasMax, name))
            return false;
        f.hasFloatRange = hasMin && hasMax;
    } else {
        f.kind = type == QLatin1String("Integer") ? FieldKind::Integer : FieldKind::ScaledInteger;
        if (!readInt(a, "minimum", f.minimum, name) || !readInt(a, "maximum", f.maximum, name))
            return false;
        if (f.maximum < f.minimum)
            return failInScan(Reason(msg::kMaximumBelowMinimum, f.name));
        if (f.kind == FieldKind::ScaledInteger) {
            if (!readDouble(a, "scale", f.scale, given, name))
                return false;
            if (!given)
                f.scale = 1.0;
            // A zero scale would put every value at the offset.
            if (f.scale == 0.0 || !std::isfinite(f.scale))
                return failInScan(Reason(msg::kScaleUnusable, f.name));
            if (!readDouble(a, "offset", f.offset, given, name))
                return false;
            if (!given)
                f.offset = 0.0;
            if (!std::isfinite(f.offset))
                return failInScan(Reason(msg::kOffsetUnusable, f.name));
        }
        f.bits = bitsForRange(f.minimum, f.maximum);
    }
    scan.fields.push_back(std::move(f));
    return true;
}

bool Parser::start(const QXmlStreamReader& xml)
{
    const QString local = xml.name().toString();
    const bool e57 = xml.namespaceUri() == kE57Namespace;
    const QStringRef type = xml.attributes().value(QLatin1String("type"));
    Frame frame;
    if (stack_.empty()) {
        if (local != QLatin1String("e57Root") || !e57)
            return fail(Reason(msg::kXmlWrongRoot));
        sawRoot_ = true;
        frame.role = Role::Root;
        stack_.push_back(frame);
        return true;
    }
    Frame& parent = stack_.back();
    switch (parent.role) {
    case Role::Root:
        if (e57 && local == QLatin1String("data3D"))
            frame.role = Role::Data3D;
        else if (e57 && local == QLatin1String("coordinateMetadata"))
            frame.role = Role::Text;
        break;
    case Role::Data3D:
        if (type == QLatin1String("Structure")) {
            frame.role = Role::Scan;
            scans_.emplace_back();
        }
        break;
    case Role::Scan: {
        ScanInfo& scan = scans_.back();
        if (!e57)
            break;
        if (local == QLatin1String("points") && type == QLatin1String("CompressedVector")) {
            frame.role = Role::Points;
            const QXmlStreamAttributes a = xml.attributes();
            bool okOffset = false, okCount = false;
            scan.fileOffset = a.value(QLatin1String("fileOffset")).trimmed().toULongLong(&okOffset);
            scan.recordCount = a.value(QLatin1String("recordCount")).trimmed().toULongLong(&okCount);
            if (!okOffset || !okCount)
                return failInScan(Reason(msg::kPointsUnplaced));
            scan.hasPoints = true;
        } else if (local == QLatin1String("pose")) {
            frame.role = Role::Pose;
            scan.hasPose = true;
        } else if (local == QLatin1String("colorLimits")) {
            frame.role = Role::Limits;
            scan.hasColourLimits = true;
        }
        break;
    }
    case Role::Points:
        if (e57 && local == QLatin1String("prototype"))
            frame.role = Role::Prototype;
        else if (e57 && local == QLatin1String("codecs"))
            frame.role = Role::Codecs;
        break;
    case Role::Prototype:
    case Role::ProtoGroup: {
        // Fields nested in structures are records' fields all the same, in
        // document order.
        const QString name = xml.qualifiedName().toString();
        if (type == QLatin1String("Structure") || type == QLatin1String("Vector")) {
            frame.role = Role::ProtoGroup;
        } else if (type == QLatin1String("Float") || type == QLatin1String("Integer")
                   || type == QLatin1String("ScaledInteger")) {
            frame.role = Role::Field;
            if (!startField(xml, name, type))
                return false;
        } else {
            return failInScan(Reason(msg::kFieldTypeUnreadable, name.toStdString(), type.toString().toStdString()));
        }
        break;
    }
    case Role::Codecs:
        scans_.back().codecsGiven = true;
        break;
    case Role::Pose:
        if (e57 && local == QLatin1String("rotation"))
            frame.role = Role::Rotation;
        else if (e57 && local == QLatin1String("translation"))
            frame.role = Role::Translation;
        break;
    case Role::Rotation: {
        Pose& p = scans_.back().pose;
        if (e57)
            pickNumber(frame, local, {{"w", &p.w}, {"x", &p.x}, {"y", &p.y}, {"z", &p.z}});
        break;
    }
    case Role::Translation: {
        Pose& p = scans_.back().pose;
        if (e57)
            pickNumber(frame, local, {{"x", &p.tx}, {"y", &p.ty}, {"z", &p.tz}});
        break;
    }
    case Role::Limits: {
        ColourLimits& c = scans_.back().colourLimits;
        const char* colours[] = {"Red", "Green", "Blue"};
        for (int i = 0; i < 3; ++i) {
            if (!e57)
                continue;
            if (local == QLatin1String("color") + QLatin1String(colours[i]) + QLatin1String("Minimum")) {
                frame.role = Role::Number;
                frame.target = &c.minimum[static_cast<std::size_t>(i)];
                frame.given = &c.hasMinimum[static_cast<std::size_t>(i)];
            } else if (local == QLatin1String("color") + QLatin1String(colours[i]) + QLatin1String("Maximum")) {
                frame.role = Role::Number;
                frame.target = &c.maximum[static_cast<std::size_t>(i)];
                frame.given = &c.hasMaximum[static_cast<std::size_t>(i)];
            }
        }
        break;
    }
    case Role::Field:
    case Role::Number:
    case Role::Text:
    case Role::Ignore:
        break;
    }
    if (frame.role == Role::Number)
        frame.name = local;
    stack_.push_back(frame);
    return true;
}

bool Parser::end()
{
    if (stack_.empty())
        return true;
    Frame frame = std::move(stack_.back());
    stack_.pop_back();
    if (frame.role == Role::Number) {
        // An element without text holds 0.
        const QString text = frame.text.trimmed();
        double value = 0.0;
        if (!text.isEmpty()) {
            bool ok = false;
            value = text.toDouble(&ok);
            if (!ok)
                return failInScan(Reason(msg::kValueNotNumber, frame.name.toStdString()));
        }
        *frame.target = value;
        if (frame.given)
            *frame.given = true;
    } else if (frame.role == Role::Text && frame.text.size() < kMaxText) {
        coordinateMetadata_ = frame.text.trimmed().toStdString();
    }
    return true;
}

} // namespace

bool parseXmlSection(PagedReader& pages, std::uint64_t logical, std::uint64_t length,
                     std::vector<ScanInfo>& scans, Reason& error, std::string* coordinateMetadata)
{
    scans.clear();
    std::string metadata;
    Parser parser(scans, coordinateMetadata ? *coordinateMetadata : metadata, error);
    if (coordinateMetadata)
        coordinateMetadata->clear();
    QXmlStreamReader xml;
    std::uint64_t done = 0;
    QByteArray piece;
    const auto feed = [&]() {
        const std::uint64_t n = std::min(kXmlPiece, length - done);
        piece.resize(static_cast<int>(n));
        if (!pages.read(logical + done, piece.data(), static_cast<std::size_t>(n))) {
            error = pages.reason();
            return false;
        }
        done += n;
        xml.addData(piece);
        return true;
    };
    if (length == 0) {
        error = Reason(msg::kXmlEmpty);
        return false;
    }
    if (!feed())
        return false;
    for (;;) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && done < length) {
                if (!feed())
                    return false;
                continue;
            }
            error = Reason(msg::kXmlUnparsable, ownWords(xml.errorString().toStdString()), xml.lineNumber(),
                           xml.columnNumber());
            return false;
        }
        if (token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::StartElement) {
            if (!parser.start(xml))
                return false;
        } else if (token == QXmlStreamReader::EndElement) {
            if (!parser.end())
                return false;
        } else if (token == QXmlStreamReader::Characters) {
            parser.text(xml);
        }
    }
    if (!parser.sawRoot()) {
        error = Reason(msg::kXmlNoRoot);
        return false;
    }
    return true;
}

} // namespace nimbus::e57
