#include "AckedUpload.h"

namespace cardsim {

const char *const AckedUpload::ACK_NOISE = "~E?S";

AckedUpload::AckedUpload(AckedUploadFormat format, Outbox &outbox, const Faults &faults,
                         Record &record)
    : format_(std::move(format)), outbox_(outbox), faults_(faults), record_(record) {
  if (format_.start)
    starting_.open(outbox_.readAt(), outbox_.startTime(*format_.start));
  record_.event(format_.name + " start " + std::to_string(format_.units * format_.unitSize) +
                " bytes");
}

bool AckedUpload::silenced() const {
  const auto after = faults_.number("upload-silent-after");
  return after && static_cast<long>(unitsDone_) > *after;
}

bool AckedUpload::receive(Byte b, bool garbled) {
  if (starting_.drop(outbox_.readAt())) {
    record_.event(format_.name + " starting: dropped " + hexByte(b));
    return true;
  }
  garbled_ = garbled_ || garbled;
  if (data_.size() < format_.units * format_.unitSize) {
    data_.push_back(b);
    sum_ = static_cast<Byte>(sum_ + b);
    if (data_.size() % format_.unitSize == 0)
      acknowledge();
    return true;
  }
  verdict(b);
  return false;
}

void AckedUpload::acknowledge() {
  ++unitsDone_;
  if (silenced())
    return;
  std::string ack;
  if (faults_.has("ack-noise"))
    ack = ACK_NOISE;
  const BulkPosition position{static_cast<long>(unitsDone_) - 1, static_cast<long>(format_.units)};
  outbox_.answer(toBytes(ack + ACK), format_.ackKind, position);
}

void AckedUpload::verdict(Byte sum) {
  const bool good = sum == sum_ && !garbled_ && !faults_.hasFor("upload-fail", format_.key);
  result_ = good ? "programmed" : "failed";
  record_.event(format_.name + " sum " + hexByte(sum) + " expected " + hexByte(sum_) + " " +
                result_);
  if (silenced() || faults_.hasFor("no-end", format_.key))
    return;
  std::string answer(1, END);
  if (!faults_.hasFor("no-verdict", format_.key))
    answer += good ? SUCCESS : FAILURE;
  outbox_.answer(answer, Answer::UploadVerdict);
}

void AckedUpload::finish(Record &record) {
  if (finished_)
    return;
  finished_ = true;
  record.setFile(format_.file, data_);
  record.set(format_.name + "_result", result_);
  record.set(format_.name + "_bytes", static_cast<long>(data_.size()));
  record.set(format_.name + "_dropped_while_starting", starting_.dropped());
  if (format_.extraFiles)
    format_.extraFiles(data_, record);
}

} // namespace cardsim
