// The command envelope: a record of one member, "cmd". Every other member is
// skipped with its syntax checked, so the envelope accepts any body and any
// depth of nesting in it; its array form is the name alone.
#include "core/request/envelope.h"

#include "core/json/reader.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"

namespace lantor {
namespace {

using schema::TextValue;

struct Envelope {
  std::string cmd;
};

constexpr schema::Field<TextValue, Envelope> kEnvelopeFields[] = {
    schema::field<&Envelope::cmd, schema::value::kTextString>("cmd", schema::kRequired)};
const schema::Record<TextValue, Envelope> kEnvelope = {"Envelope", schema::RecordKind::Struct,
                                                       kEnvelopeFields};

}  // namespace

std::optional<std::string> read_envelope(std::string_view text) {
  json::Reader r(text);
  Envelope envelope;
  if (!schema::read_record(TextValue{&r, 0}, kEnvelope, envelope).ok() || !r.finish().ok())
    return std::nullopt;
  return std::move(envelope.cmd);
}

}  // namespace lantor
