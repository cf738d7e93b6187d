#include "tools/probecheck/JsonReport.h"

#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/JsonWriter.h"

namespace {

void Value(JsonWriter& writer, std::string_view key, const RecordValue& value)
{
    switch (value.kind) {
    case RecordValue::Kind::Number:
        return writer.Number(key, value.number, value.decimals);
    case RecordValue::Kind::Text:
        return writer.String(key, value.text);
    case RecordValue::Kind::Flag:
        return writer.Bool(key, value.flag);
    case RecordValue::Kind::None:
        break;
    }
    writer.Null(key);
}

void Measurements(JsonWriter& writer, const CheckRecord& record)
{
    writer.BeginArray("measurements");
    for (const Measurement& measurement : record.measurements) {
        writer.BeginObject();
        writer.String("name", measurement.name);
        Value(writer, "value", measurement.value);
        writer.String("unit", measurement.unit);
        if (measurement.low)
            writer.Number("low", *measurement.low);
        if (measurement.high)
            writer.Number("high", *measurement.high);
        if (!measurement.accepted.empty()) {
            writer.BeginArray("expected");
            for (const std::string& one : measurement.accepted)
                writer.String({}, one);
            writer.EndArray();
        }
        writer.String("outcome", OutcomeName(measurement.outcome));
        writer.EndObject();
    }
    writer.EndArray();
}

void Details(JsonWriter& writer, const CheckRecord& record)
{
    writer.BeginObject("details");
    for (const RecordField& fact : record.facts)
        Value(writer, fact.name, fact.value);
    for (const RecordTable& table : record.tables) {
        writer.BeginArray(table.name);
        for (const std::vector<RecordField>& row : table.rows) {
            writer.BeginObject();
            for (const RecordField& field : row)
                Value(writer, field.name, field.value);
            writer.EndObject();
        }
        writer.EndArray();
    }
    writer.EndObject();
}

void Check(JsonWriter& writer, const CheckRecord& record)
{
    writer.BeginObject();
    writer.String("check", record.check);
    writer.String("verdict", VerdictName(record.verdict));
    writer.Integer("exitStatus", record.ExitStatus());
    writer.String("reason", record.reason);
    writer.BeginObject("device");
    writer.String("kind", record.deviceKind);
    writer.String("path", record.devicePath);
    if (!record.boardFile.empty())
        writer.String("boardFile", record.boardFile);
    writer.EndObject();
    writer.String("started", UtcText(record.started));
    writer.Number("elapsedSeconds", record.elapsedSeconds, 3);
    Measurements(writer, record);
    Details(writer, record);
    writer.EndObject();
}

} // namespace

std::string JsonReport::Render(const CallRecord& call)
{
    JsonWriter writer;
    writer.BeginObject();
    writer.Integer("schema", Schema);
    writer.String("verdict", VerdictName(call.Overall()));
    writer.Integer("exitStatus", ExitStatus(call.Overall()));
    writer.String("started", UtcText(call.started));
    writer.Number("elapsedSeconds", call.elapsedSeconds, 3);
    writer.BeginArray("checks");
    for (const CheckRecord& record : call.checks)
        Check(writer, record);
    writer.EndArray();
    writer.EndObject();
    return writer.Text() + "\n";
}
