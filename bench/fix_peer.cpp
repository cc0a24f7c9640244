#include "fix_peer.h"

#include <quickfix/FieldConvertors.h>
#include <quickfix/Message.h>

#include <algorithm>

namespace fixpeer {

bool available() { return true; }

double parseAndRead(const std::vector<std::string>& messages, const std::vector<int>& numberTags, int timeTag,
                    size_t& fields) {
  double sum = 0;
  FIX::Message message;
  for (const std::string& text : messages) {
    message.setString(text, false);
    for (FIX::FieldMap::const_iterator field = message.begin(); field != message.end(); ++field) {
      const int tag = field->getTag();
      if (tag == timeTag) {
        sum += FIX::UtcTimeStampConvertor::convert(field->getString()).getSecond();
        ++fields;
      } else if (std::binary_search(numberTags.begin(), numberTags.end(), tag)) {
        sum += FIX::DoubleConvertor::convert(field->getString());
        ++fields;
      }
    }
  }
  return sum;
}

}  // namespace fixpeer
