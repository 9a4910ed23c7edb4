#include "controllers/Mapping.h"

#include <QStringDecoder>
#include <cmath>

namespace qdl::controllers {

namespace {

using control::ActionKind;

const char* sourceWord(Source s) {
  switch (s) {
    case Source::Note:
      return "note";
    case Source::Control:
      return "cc";
    case Source::Control14:
      return "cc14";
  }
  return "note";
}

bool toInt(const QString& text, int low, int high, int* out) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  if (!ok || v < low || v > high) return false;
  *out = v;
  return true;
}

// Replaces a binding of the same message and layer, or appends.
std::optional<Binding> put(QList<Binding>& list, const Binding& b) {
  for (Binding& old : list) {
    if (!old.sameMessage(b)) continue;
    const Binding was = old;
    old = b;
    return was;
  }
  list.push_back(b);
  return std::nullopt;
}

// Reads one binding line's words; empty on success, else the reason.
QString readBinding(QStringList words, const ActionLookup& actions, Binding& b) {
  if (words.first() == QLatin1String("shift") && words.size() > 1) {
    b.shifted = true;
    words.removeFirst();
  }
  const QString kind = words.value(0);
  if (kind == QLatin1String("note"))
    b.source = Source::Note;
  else if (kind == QLatin1String("cc"))
    b.source = Source::Control;
  else if (kind == QLatin1String("cc14"))
    b.source = Source::Control14;
  else
    return QStringLiteral("unknown word \"%1\" (note, cc, cc14, name or use)").arg(kind.left(40));
  if (words.size() < 4) return QStringLiteral("a binding needs a channel, a number and an action");
  int channel = 0;
  if (!toInt(words[1], 1, 16, &channel))
    return QStringLiteral("channel \"%1\" is not 1 to 16").arg(words[1].left(20));
  b.channel = channel - 1;
  const int top = b.source == Source::Control14 ? 31 : 127;
  if (!toInt(words[2], 0, top, &b.number))
    return QStringLiteral("number \"%1\" is not 0 to %2").arg(words[2].left(20)).arg(top);

  const QString target = words[3];
  std::optional<control::ActionInfo> info;
  if (target == QLatin1String("shift")) {
    b.target = Target::Shift;
    if (b.shifted) return QStringLiteral("the shift button cannot be in the shift layer");
    if (b.source == Source::Control14) return QStringLiteral("a 14-bit pair cannot be shift");
  } else if (target.endsWith(QLatin1String(".jog"))) {
    b.target = Target::Jog;
    b.action = target.chopped(4);
    if (!actions || !actions(b.action + QStringLiteral(".play")))
      return QStringLiteral("unknown deck \"%1\"").arg(b.action.left(40));
    if (b.source != Source::Control) return QStringLiteral("a jog wheel needs cc");
    b.encoding = Encoding::Twos;
  } else {
    b.target = Target::Action;
    b.action = target;
    if (actions) info = actions(target);
    if (!info) return QStringLiteral("unknown action \"%1\"").arg(target.left(60));
  }

  for (int i = 4; i < words.size(); ++i) {
    const QString& w = words[i];
    if (w == QLatin1String("led")) {
      b.led = true;
    } else if (w == QLatin1String("invert")) {
      b.invert = true;
    } else if (w == QLatin1String("relative") || w == QLatin1String("relative=twos")) {
      b.encoding = Encoding::Twos;
    } else if (w == QLatin1String("relative=offset")) {
      b.encoding = Encoding::Offset;
    } else if (w == QLatin1String("relative=signbit")) {
      b.encoding = Encoding::SignBit;
    } else if (w == QLatin1String("step")) {
      if (i + 1 >= words.size() || !toInt(words[i + 1], 1, 1000000, &b.step))
        return QStringLiteral("step needs a number from 1 to 1000000");
      ++i;
    } else {
      return QStringLiteral("unknown option \"%1\"").arg(w.left(40));
    }
  }

  if (b.encoding != Encoding::Absolute && b.source != Source::Control)
    return QStringLiteral("only cc can be relative");
  if (info) {
    const bool value = info->kind == ActionKind::Value;
    if (b.source == Source::Note && value)
      return QStringLiteral("a note cannot set the value %1; use cc").arg(b.action);
    if (b.source == Source::Control14 && !value)
      return QStringLiteral("a 14-bit pair needs a value, %1 is none").arg(b.action);
    if (b.encoding != Encoding::Absolute && !value)
      return QStringLiteral("an encoder needs a value, %1 is none").arg(b.action);
  }
  return {};
}

}  // namespace

QString Binding::messageText() const {
  return QStringLiteral("%1%2 %3 %4")
      .arg(shifted ? QStringLiteral("shift ") : QString(), QLatin1String(sourceWord(source)))
      .arg(channel + 1)
      .arg(number);
}

QString Binding::targetName() const {
  switch (target) {
    case Target::Shift:
      return QStringLiteral("shift");
    case Target::Jog:
      return action + QStringLiteral(".jog");
    case Target::Action:
      break;
  }
  return action;
}

QString Binding::text() const {
  QString t = messageText() + QLatin1Char(' ') + targetName();
  if (led) t += QStringLiteral(" led");
  if (invert) t += QStringLiteral(" invert");
  // A jog is relative by nature; its default encoding is not written.
  switch (encoding) {
    case Encoding::Absolute:
      break;
    case Encoding::Twos:
      if (target != Target::Jog) t += QStringLiteral(" relative");
      break;
    case Encoding::Offset:
      t += QStringLiteral(" relative=offset");
      break;
    case Encoding::SignBit:
      t += QStringLiteral(" relative=signbit");
      break;
  }
  if (step > 0) t += QStringLiteral(" step %1").arg(step);
  return t;
}

const Binding* Mapping::find(Source source, int channel, int number, bool shifted) const {
  const Binding* plain = nullptr;
  for (const Binding& b : bindings) {
    if (b.source != source || b.channel != channel || b.number != number) continue;
    if (b.shifted == shifted) return &b;
    if (!b.shifted) plain = &b;
  }
  return shifted ? plain : nullptr;
}

MappingFile parseMapping(const QByteArray& bytes, const ActionLookup& actions) {
  MappingFile file;
  if (bytes.size() > kMaxBytes) {
    file.problems << QStringLiteral("larger than %1 KiB: not read").arg(kMaxBytes / 1024);
    return file;
  }
  if (bytes.contains('\0')) {
    file.problems << QStringLiteral("not a text file: not read");
    return file;
  }
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(bytes);
  if (utf8.hasError()) {
    file.problems << QStringLiteral("not UTF-8 text: not read");
    return file;
  }
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);

  const QStringList lines = text.split(QLatin1Char('\n'));
  for (int n = 0; n < lines.size(); ++n) {
    QString line = lines[n];
    const qsizetype hash = line.indexOf(QLatin1Char('#'));
    if (hash >= 0) line.truncate(hash);
    line = line.trimmed();
    if (line.isEmpty()) continue;
    const auto problem = [&](const QString& why) {
      file.problems << QStringLiteral("line %1: %2").arg(n + 1).arg(why);
    };
    QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // Tabs count as blanks too.
    words = words.join(QLatin1Char('\t')).split(QLatin1Char('\t'), Qt::SkipEmptyParts);
    const QString first = words.first();
    if (first == QLatin1String("name") || first == QLatin1String("use")) {
      const QString rest = line.mid(first.size()).trimmed();
      if (rest.isEmpty()) {
        problem(QStringLiteral("%1 needs a name").arg(first));
      } else if (first == QLatin1String("name")) {
        file.name = rest.left(100);
      } else if (file.uses.size() >= kMaxDepth) {
        problem(QStringLiteral("too many \"use\" lines"));
      } else {
        file.uses << rest.left(200);
      }
      continue;
    }
    if (file.bindings.size() >= kMaxBindings) {
      problem(QStringLiteral("more than %1 bindings: the rest is not read").arg(kMaxBindings));
      break;
    }
    Binding b;
    b.line = n + 1;
    const QString why = readBinding(words, actions, b);
    if (!why.isEmpty()) {
      problem(why);
      continue;
    }
    put(file.bindings, b);
  }
  return file;
}

namespace {

void resolveInto(const QString& name, const MappingSource& source, const ActionLookup& actions,
                 QStringList& path, Mapping& out) {
  const auto told = [&](const QString& why) { out.problems << name + QStringLiteral(": ") + why; };
  for (const QString& p : path) {
    if (p.compare(name, Qt::CaseInsensitive) == 0) {
      told(QStringLiteral("used in a circle (%1); not followed")
               .arg((path + QStringList{name}).join(QStringLiteral(" -> "))));
      return;
    }
  }
  if (path.size() >= kMaxDepth) {
    told(QStringLiteral("\"use\" deeper than %1; not followed").arg(kMaxDepth));
    return;
  }
  QString why;
  const QByteArray bytes = source ? source(name, &why) : QByteArray();
  if (!why.isEmpty()) {
    told(why);
    return;
  }
  const MappingFile file = parseMapping(bytes, actions);
  for (const QString& p : file.problems) told(p);
  path.push_back(name);
  for (const QString& used : file.uses) resolveInto(used, source, actions, path, out);
  path.pop_back();
  if (path.isEmpty() || out.name.isEmpty()) out.name = file.name.isEmpty() ? name : file.name;
  for (const Binding& b : file.bindings) put(out.bindings, b);
}

}  // namespace

Mapping resolveMapping(const QString& name, const MappingSource& source,
                       const ActionLookup& actions) {
  Mapping m;
  QStringList path;
  resolveInto(name, source, actions, path, m);
  if (m.name.isEmpty()) m.name = name;
  return m;
}

QByteArray writeMapping(const MappingFile& file) {
  QString t = QStringLiteral(
      "# Quandrel controller mapping (see the README, \"MIDI controllers\").\n"
      "# kind channel number action options; a later line for the same message wins.\n");
  if (!file.name.isEmpty()) t += QStringLiteral("name ") + file.name + QLatin1Char('\n');
  for (const QString& u : file.uses) t += QStringLiteral("use ") + u + QLatin1Char('\n');
  for (const Binding& b : file.bindings) t += b.text() + QLatin1Char('\n');
  return t.toUtf8();
}

std::optional<Binding> bindInto(MappingFile& file, const Binding& binding) {
  return put(file.bindings, binding);
}

int scaleToRange(int value, int bits, int minimum, int maximum, bool invert) {
  const int top = (1 << bits) - 1;
  const int centre = 1 << (bits - 1);
  value = std::clamp(value, 0, top);
  const double mid = (double(minimum) + double(maximum)) / 2.0;
  double r = value <= centre ? minimum + (mid - minimum) * value / centre
                             : mid + (maximum - mid) * (value - centre) / (top - centre);
  if (invert) r = double(minimum) + double(maximum) - r;
  return std::clamp(int(std::lround(r)), std::min(minimum, maximum), std::max(minimum, maximum));
}

int scaleFromRange(int state, int bits, int minimum, int maximum, bool invert) {
  const int top = (1 << bits) - 1;
  const int centre = 1 << (bits - 1);
  if (maximum <= minimum) return 0;
  double s = std::clamp(state, minimum, maximum);
  if (invert) s = double(minimum) + double(maximum) - s;
  const double mid = (double(minimum) + double(maximum)) / 2.0;
  const double v = s <= mid ? centre * (s - minimum) / (mid - minimum)
                            : centre + (top - centre) * (s - mid) / (maximum - mid);
  return std::clamp(int(std::lround(v)), 0, top);
}

int relativeSteps(int value, Encoding encoding) {
  value &= 0x7F;
  switch (encoding) {
    case Encoding::Absolute:
      return 0;
    case Encoding::Twos:
      return value < 64 ? value : value - 128;
    case Encoding::Offset:
      return value - 64;
    case Encoding::SignBit:
      return value < 64 ? value : -(value - 64);
  }
  return 0;
}

}  // namespace qdl::controllers
