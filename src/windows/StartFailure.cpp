#include "StartFailure.h"

#include "Config.h"
#include "ErrorReport.h"

StartFailure messageFailure(int key, const char* placeholder, const char* value) {
  StartFailure failure;
  failure.kind = StartFailure::Kind::message;
  failure.key = key;
  failure.placeholder = placeholder;
  if (value != nullptr) failure.value = value;
  return failure;
}

StartFailure internalFailure(InternalError error) {
  return messageFailure(key::msgInternalError, kErrorCodePlaceholder, internalErrorCode(error));
}

StartFailure blockFailure(BlockError error) {
  StartFailure failure;
  failure.kind = StartFailure::Kind::text;
  failure.text = blockErrorText(error);
  return failure;
}

void reportStartFailure(const StartFailure& failure) {
  switch (failure.kind) {
    case StartFailure::Kind::message:
      fatalErrorKey(failure.key, failure.placeholder, failure.placeholder != nullptr ? failure.value.c_str() : nullptr);
    case StartFailure::Kind::messageFillings: {
      const Filling filling{failure.placeholder, failure.value.c_str()};
      fatalErrorKeyWith(failure.key, &filling, failure.placeholder != nullptr ? 1 : 0, failure.text.c_str());
    }
    case StartFailure::Kind::text:
    case StartFailure::Kind::none:
      break;
  }
  fatalError(failure.text.c_str());
}
