// Reads a file for the run's worker, slice by slice, in a thread of its own: a browser
// moves a blob's bytes only while the reading thread waits, and the run's thread is busy
// in the core most of the time. Up to `ahead` slices are read at once (side by side they
// come faster) or wait unclaimed; each goes to the worker whole, transferred, in order.
// The worker claims one with 'next' and ends the reader when the run ends.

self.onmessage = ({ data }) => {
  if (data === 'next') {
    self.credits += 1;
    self.readMore();
    return;
  }
  const { file, size, ahead } = data;
  let at = 0;
  let delivered = Promise.resolve();
  self.credits = ahead;
  self.readMore = () => {
    for (; self.credits > 0 && at < file.size; at += size, self.credits -= 1) {
      const read = file.slice(at, at + size).arrayBuffer();
      delivered = delivered.then(() =>
        read.then(
          (bytes) => self.postMessage({ bytes }, [bytes]),
          (error) => self.postMessage({ error: { name: error?.name, message: String(error?.message ?? error) } }),
        ),
      );
    }
  };
  self.readMore();
};
