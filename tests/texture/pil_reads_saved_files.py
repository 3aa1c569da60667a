"""Opens every file texture_save_samples wrote with an independent reader (PIL) and checks its size, mode and
pixels against the raw pixels written beside it. Exits 77 (skipped) when PIL is not installed."""
import os
import sys

try:
    from PIL import Image
except ImportError:
    print("PIL is not installed (python3-pil)")
    sys.exit(77)


def main(folder):
    failures = 0
    with open(os.path.join(folder, "manifest.txt")) as manifest:
        lines = [line.split() for line in manifest if line.strip()]
    for name, mode, width, height, tolerance in lines:
        path = os.path.join(folder, name)
        with open(path + ".raw", "rb") as raw:
            expected = raw.read()
        try:
            with Image.open(path) as image:
                image.load()
                size, got_mode = image.size, image.mode
                pixels = image.convert("RGB").tobytes() if mode == "P" else image.tobytes()
        except Exception as error:  # a file the reader refuses is a failure, whatever the reason
            print(f"{name}: cannot be read: {error}")
            failures += 1
            continue
        problems = []
        if size != (int(width), int(height)):
            problems.append(f"size {size}, expected {width} x {height}")
        if got_mode != mode:
            problems.append(f"mode {got_mode}, expected {mode}")
        elif len(pixels) != len(expected):
            problems.append(f"{len(pixels)} pixel bytes, expected {len(expected)}")
        else:
            worst = max((abs(a - b) for a, b in zip(pixels, expected)), default=0)
            if worst > int(tolerance):
                first = next(i for i, (a, b) in enumerate(zip(pixels, expected)) if abs(a - b) > int(tolerance))
                problems.append(f"byte {first} is {pixels[first]}, expected {expected[first]} (worst {worst})")
        print(f"{name}: " + ("; ".join(problems) if problems else "ok"))
        failures += bool(problems)
    return 1 if failures or not lines else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
