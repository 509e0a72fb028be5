#include "core/CertProblem.h"

namespace postello {

std::string CertProblemText(TCertProblem problem) {
  switch (problem) {
    case TCertProblem::None: return "Zertifikat g\xFCltig";
    case TCertProblem::Untrusted: return "Zertifikat nicht vertrauensw\xFCrdig";
    case TCertProblem::Expired: return "Zertifikat abgelaufen";
    case TCertProblem::OtherName: return "Zertifikat gilt f\xFCr einen anderen Namen";
  }
  return {};
}

} // namespace postello
