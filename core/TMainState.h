#pragma once
namespace postello {
class TMainState {};
}
