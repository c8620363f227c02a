// Placeholder so the object library is never empty; removed when real sources land.
