#pragma once

#include <utility>
#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Market/market_data.h"
#include "Vectorization/matrix.h"

namespace qavrek::python {

// The market-data view of a diffusion over two state blocks handed over from Python. They are matrices
// of their own (a borrowed one arrives as a copy), so the view owns them and needs no state storage;
// the Python matrices are left empty (0 x 0).
inline ptr_const<market_data> create_market_data(const diffusion& self, const ptr_const<diffusion>& asset,
                                                 matrix<double>&& next, matrix<double>&& current,
                                                 const std::vector<ptr_const<market_data>>& data) {
  return self.create_market_data(asset, std::move(next), std::move(current), data, nullptr);
}

// The documentation of create_market_data on every diffusion family.
inline constexpr const char* create_market_data_doc =
    "create_market_data(self, asset:diffusion, next:matrix_IdE,\n"
    "    current:matrix_IdE, data:(marketData, ...)) -> marketData\n"
    "C++: ptr_const<market_data> create_market_data(\n"
    "    const ptr_const<diffusion> &asset, matrix<double> &&next,\n"
    "    matrix<double> &&current,\n"
    "    const std::vector<ptr_const<market_data> > &data) override;\n\n";

}  // namespace qavrek::python
