#include "kexsim_security_fields.h"

namespace kexsim {

const std::array<SecurityField, 29>& securityFields() {
  using S = Security;
  using W = WireType;
  static const std::array<SecurityField, 29> kFields{{
      {"exchange", W::kString, &S::exchange},
      {"extraText2", W::kString, &S::extraText2},
      {"type", W::kString, &S::type},
      {"symbol", W::kString, &S::symbol},
      {"shortName", W::kString, &S::shortName},
      {"longName", W::kString, &S::longName},
      {"extra7", W::kInt32, &S::extra7},
      {"decimals", W::kInt32, &S::decimals},
      {"lotSize", W::kInt32, &S::lotSize},
      {"extra10", W::kInt32, &S::extra10},
      {"extra11", W::kInt32, &S::extra11},
      {"expiry", W::kDateTime, &S::expiry},
      {"strike", W::kDouble, &S::strike},
      {"pointValue", W::kDouble, &S::pointValue},
      {"extraText15", W::kString, &S::extraText15},
      {"priceStep", W::kDouble, &S::priceStep},
      {"extra17", W::kDouble, &S::extra17},
      {"extra18", W::kDouble, &S::extra18},
      {"extraText19", W::kString, &S::extraText19},
      {"extra20", W::kInt32, &S::extra20},
      {"extra21", W::kInt32, &S::extra21},
      {"extra22", W::kInt32, &S::extra22},
      {"extra23", W::kInt32, &S::extra23},
      {"extra24", W::kDouble, &S::extra24},
      {"extra25", W::kDouble, &S::extra25},
      {"extra26", W::kDouble, &S::extra26},
      {"extra27", W::kInt32, &S::extra27},
      {"extra28", W::kInt32, &S::extra28},
      {"extra29", W::kInt32, &S::extra29},
  }};
  return kFields;
}

}  // namespace kexsim
