// Keeps the adapters library non-empty before any adapter exists.
namespace parvex { int winAdaptersAnchor = 0; }
